# Cross build for 64-bit Windows with MinGW-w64: the same tree, to run the Windows suites under
# 64-bit Wine on machines that execute no 32-bit x86 code. Never shipped.
set(HALVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# /usr/bin/wine picks the 32-bit loader wherever it is installed; this one is always 64-bit.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine64-bin/wine)
