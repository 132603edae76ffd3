#include "core/LibraryState.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#endif

namespace halvern {
namespace {

#if defined(_WIN32)
// Windows detaches the library from an ending process after it has ended every other thread,
// under the loader lock: the threads the state would stop are gone, and stopping them could
// wait forever. The process gives everything back anyway, so the state is left as it is then.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
std::atomic<bool> processEnding{false};
#endif

// Built when the library loads and destroyed, in reverse member order, when it unloads (but
// not when a Windows process ends, see above). A union member is destroyed only on request.
union StateStorage {
  StateStorage() : state() {}
  StateStorage(const StateStorage&) = delete;
  StateStorage& operator=(const StateStorage&) = delete;
  ~StateStorage() {
#if defined(_WIN32)
    if (processEnding.load()) {
      return;
    }
#endif
    state.~LibraryState();
  }

  LibraryState state;
};

StateStorage storage;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

}  // namespace

LibraryState& libraryState() {
  return storage.state;  // NOLINT(cppcoreguidelines-pro-type-union-access): its only member
}

}  // namespace halvern

#if defined(_WIN32)
// Called before the static destructors; `reserved` is null on FreeLibrary and non-null when the
// process is ending.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
    halvern::processEnding.store(true);
  }
  return TRUE;
}
#endif
