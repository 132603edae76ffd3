# Cross-compiles for Windows x64 with Debian's mingw-w64 (package g++-mingw-w64-x86-64-posix)
# and runs the resulting programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix compilers: the -win32 ones have no std::thread or std::mutex.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++ 12 has no futex to wait on here, and its fallback can miss a wake-up (std::latch,
# std::atomic::wait). Semaphores, which std::stop_token and std::jthread use, are steered to
# the winpthread ones instead.
set(CMAKE_CXX_FLAGS_INIT "-D_GLIBCXX_USE_POSIX_SEMAPHORE=1")

# Programs and DLLs carry their own C++ runtime, so nothing but Windows' own DLLs needs to sit
# beside them. A DLL that exports all its symbols (no dllexport marks) exports its own code
# only: exporting the runtime's would clash with the copy each user links in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--exclude-libs,ALL")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -Wl,--exclude-libs,ALL")

# add_test, gtest_discover_tests and try_run start the programs through Wine, by a script that
# starts once more a program Wine failed to start at all.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh"
  CACHE FILEPATH "Runs Windows programs on this host")
