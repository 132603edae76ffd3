// The data log switch as exported C functions.
#include "core/DataLogSink.h"
#include "halvern/DataLog.h"

extern "C" {

void c_Halvern_startDataLog(struct WPI_DataLog* log) { halvern::datalog::startDataLog(log); }

void c_Halvern_stopDataLog() { halvern::datalog::stopDataLog(); }

int c_Halvern_isDataLogOn() { return halvern::datalog::dataLogActive() ? 1 : 0; }

}  // extern "C"
