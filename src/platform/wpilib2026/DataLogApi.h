// WPILib 2026's data log as core/DataLogSink.cpp calls it: the C API of wpiutil, which the
// library uses on every platform (on Windows a DLL built by another compiler exports no C++ name
// this one can import).
#pragma once

#include <wpi/DataLog_c.h>
#include <wpi/string.h>
