// WPILib's own data log reader, for the tests that read back what was written: in 2026
// wpiutil's, with its memory buffer.
#pragma once

#include <wpi/DataLogReader.h>
#include <wpi/MemoryBuffer.h>

namespace halvern::test {

using WpilibMemoryBuffer = wpi::MemoryBuffer;

}  // namespace halvern::test
