# Warnings and sanitizers, applied per target rather than globally.
add_library(tavori_warnings INTERFACE)
target_compile_options(tavori_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(TAVORI_WERROR)
  target_compile_options(tavori_warnings INTERFACE -Werror)
endif()

if(TAVORI_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
