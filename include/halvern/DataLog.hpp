// Logging every device's signals into the robot program's WPILib data log, for C++ programs:
//
//   halvern::StartDataLog(frc::DataLogManager::GetLog());
//
// See halvern/DataLog.h for what is logged and how entries are named.
#pragma once

#include "halvern/DataLog.h"

namespace wpi::log {
class DataLog;
}  // namespace wpi::log

namespace halvern {

/**
 * Logs into `log` from now on (WPILib's data log; it must stay open until StopDataLog, as
 * DataLogManager's log does for the program's life).
 */
inline void StartDataLog(wpi::log::DataLog& log) {
  // WPILib's data log C API takes the C++ object's address as its handle.
  c_Halvern_startDataLog(reinterpret_cast<WPI_DataLog*>(&log));
}

/** Finishes the library's entries and logs nothing more. */
inline void StopDataLog() { c_Halvern_stopDataLog(); }

/** True while a log is set. */
inline bool IsDataLogOn() { return c_Halvern_isDataLogOn() != 0; }

}  // namespace halvern
