// A device handle of the library's C face owned by a test: destroyed with its family's destroy
// function when the owner goes, as a robot program would destroy it.
#pragma once

#include <memory>

namespace halvern::test {

template <auto Destroy>
struct DestroyWith {
  void operator()(void* handle) const { Destroy(handle); }
};

/** Owns a handle that `Destroy` (e.g. c_Dystal_destroy) releases. */
template <auto Destroy>
using OwnedHandle = std::unique_ptr<void, DestroyWith<Destroy>>;

}  // namespace halvern::test
