# HALVANE_SANITIZE: a comma list handed to -fsanitize (host builds only), e.g. "address,undefined".
set(HALVANE_SANITIZE "" CACHE STRING "Sanitizers for the host build")
if(HALVANE_SANITIZE)
  add_compile_options(-fsanitize=${HALVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${HALVANE_SANITIZE})
endif()
option(HALVANE_FUZZ "Build the libFuzzer targets (clang)" OFF)
