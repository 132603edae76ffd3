// Loading and unloading HalvernDriver at run time in a test, as a plugin host would. The test
// program defines HALVERN_LIBRARY_PATH and does not link the library itself.
#pragma once

#include <dlfcn.h>

namespace halvern::testing {

inline void* loadLibrary() { return dlopen(HALVERN_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL); }

/** True while the library is mapped, by this test's handle or any other. */
inline bool libraryIsLoaded() {
  void* probe = dlopen(HALVERN_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (probe == nullptr) {
    return false;
  }
  dlclose(probe);
  return true;
}

}  // namespace halvern::testing
