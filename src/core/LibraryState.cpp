#include "core/LibraryState.h"

namespace halvern {
namespace {
// Built when the library loads and destroyed, in reverse member order, when it unloads.
LibraryState state;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
}  // namespace

LibraryState& libraryState() { return state; }

}  // namespace halvern
