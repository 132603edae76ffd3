# Cross-compiles for 64-bit ARM Linux (the robot controller's linuxarm64) with Debian's aarch64
# cross compiler (package g++-aarch64-linux-gnu) and runs the resulting programs under qemu-user
# (package qemu-user) with the C and C++ libraries of the cross compiler's sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(HALVERN_AARCH64_SYSROOT /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${HALVERN_AARCH64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The JNI bindings need jni.h and jni_md.h only, and a Linux JDK's are the same on every
# processor: the host JDK's serve. The search under the sysroot would not see them.
if(NOT JAVA_INCLUDE_PATH)
  file(GLOB halvern_host_jdk_includes /usr/lib/jvm/*/include)
  find_path(JAVA_INCLUDE_PATH jni.h
    PATHS $ENV{JAVA_HOME}/include ${halvern_host_jdk_includes}
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH DOC "JNI include directory")
endif()
if(JAVA_INCLUDE_PATH AND NOT JAVA_INCLUDE_PATH2)
  find_path(JAVA_INCLUDE_PATH2 jni_md.h PATHS ${JAVA_INCLUDE_PATH}/linux
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH DOC "Linux jni_md.h directory")
endif()

# add_test, gtest_discover_tests and try_run start the programs under qemu, which loads their
# dynamic linker and libraries from the sysroot; the script lets a program that starts itself
# again (GoogleTest's death tests) do so.
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${CMAKE_CURRENT_LIST_DIR}/qemu-aarch64-run.sh;--sysroot;${HALVERN_AARCH64_SYSROOT}
  CACHE STRING "Runs 64-bit ARM Linux programs on this host")
