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

# Compiles a target's sources folder by folder, each folder's files as one unit: most of a small
# file's compile time goes to the standard and platform headers, which a folder's files then
# share. Only for the library and the simulators, whose folders are a family or a concern each;
# files at the top of the target's folder (a simulator each) compile on their own.
#   halvern_compile_by_folder(<target>)
function(halvern_compile_by_folder target)
  if(NOT HALVERN_UNITY_BUILD)
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  foreach(source IN LISTS sources)
    cmake_path(GET source PARENT_PATH folder)
    if(source MATCHES "\\.cpp$" AND NOT folder STREQUAL "")
      set_property(SOURCE ${source} PROPERTY UNITY_GROUP "${folder}")
    endif()
  endforeach()
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_MODE GROUP)
endfunction()
