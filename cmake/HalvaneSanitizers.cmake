# HALVANE_SANITIZE: a comma list handed to -fsanitize (host builds only), e.g. "address,undefined".
set(HALVANE_SANITIZE "" CACHE STRING "Sanitizers for the host build")
if(HALVANE_SANITIZE)
  add_compile_options(-fsanitize=${HALVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${HALVANE_SANITIZE})
  if(HALVANE_SANITIZE MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # The trace ring is a sequence lock whose fences TSan does not model, and GCC says so at each
    # of them; its writer is proven by the ring's own tests (a writer killed at any
    # moment, threads writing at once), not by TSan.
    add_compile_options(-Wno-tsan)
  endif()
endif()
option(HALVANE_FUZZ "Build the libFuzzer targets (clang)" OFF)
