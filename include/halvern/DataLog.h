// Logging every device's signals into the robot program's WPILib data log: the C face.
//
// Off until c_Halvern_startDataLog. From then on, for every device the program has, the library
// appends each new reading with the time it was measured on the robot's clock, each command the
// program sends, each identity once known and each change of connection status, one entry per
// signal named "Halvern/<device>/<signal>" (e.g. "Halvern/Ordex[5]/Motor 0/RPM"), with the unit in
// the entry's metadata. Appends happen where the readings arrive and never wait on a file.
#pragma once

#include "halvern/Export.h"

struct WPI_DataLog;

extern "C" {

/**
 * Logs into `log` (WPILib's data log C handle; from C++ `wpi::log::DataLog*` cast to it, as
 * WPILib's own C API does) from now on. A log already set is stopped first. The log must stay
 * open until c_Halvern_stopDataLog. A null `log` is c_Halvern_stopDataLog.
 */
HALVERN_API void c_Halvern_startDataLog(struct WPI_DataLog* log);

/** Finishes every entry the library started in the log and logs nothing more. */
HALVERN_API void c_Halvern_stopDataLog();

/** 1 while a log is set, else 0. */
HALVERN_API int c_Halvern_isDataLogOn();

}  // extern "C"
