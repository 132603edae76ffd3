# Compiler warnings and sanitizers shared by every target of the project.
add_library(halvern_options INTERFACE)
target_compile_options(halvern_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wnull-dereference)
if(HALVERN_WARNINGS_AS_ERRORS)
  target_compile_options(halvern_options INTERFACE -Werror)
endif()

if(HALVERN_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(HALVERN_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT HALVERN_SANITIZER STREQUAL "")
  message(FATAL_ERROR "Unknown HALVERN_SANITIZER '${HALVERN_SANITIZER}'")
endif()
