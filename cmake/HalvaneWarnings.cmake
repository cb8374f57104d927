# One warning set for every target of ours: -Wall -Wextra, clean.
add_library(halvane_warnings INTERFACE)
target_compile_options(halvane_warnings INTERFACE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
