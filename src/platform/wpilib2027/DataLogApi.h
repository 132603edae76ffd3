// WPILib 2027's data log as core/DataLogSink.cpp calls it: the C API of the `datalog` library.
// WPILib 2027 ships that library without its headers, so the functions the library calls are
// declared here, as libdatalog exports them (unchanged from 2026's wpiutil), with the file writer
// the simulators' Java face opens; WPI_String is wpiutil's.
#pragma once

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): a C declaration block
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

#include <wpi/util/string.h>

extern "C" {

struct WPI_DataLog;

struct WPI_DataLog* WPI_DataLog_CreateWriter(const struct WPI_String* filename, int* errorCode,
                                             const struct WPI_String* extraHeader);
void WPI_DataLog_Release(struct WPI_DataLog* datalog);
void WPI_DataLog_Flush(struct WPI_DataLog* datalog);

int WPI_DataLog_Start(struct WPI_DataLog* datalog, const struct WPI_String* name,
                      const struct WPI_String* type, const struct WPI_String* metadata,
                      int64_t timestamp);
void WPI_DataLog_Finish(struct WPI_DataLog* datalog, int entry, int64_t timestamp);
void WPI_DataLog_AppendBoolean(struct WPI_DataLog* datalog, int entry, int value,
                               int64_t timestamp);
void WPI_DataLog_AppendInteger(struct WPI_DataLog* datalog, int entry, int64_t value,
                               int64_t timestamp);
void WPI_DataLog_AppendDouble(struct WPI_DataLog* datalog, int entry, double value,
                              int64_t timestamp);
void WPI_DataLog_AppendString(struct WPI_DataLog* datalog, int entry,
                              const struct WPI_String* value, int64_t timestamp);
void WPI_DataLog_AppendBooleanArray(struct WPI_DataLog* datalog, int entry, const int* arr,
                                    size_t len, int64_t timestamp);
void WPI_DataLog_AppendIntegerArray(struct WPI_DataLog* datalog, int entry, const int64_t* arr,
                                    size_t len, int64_t timestamp);
void WPI_DataLog_AppendDoubleArray(struct WPI_DataLog* datalog, int entry, const double* arr,
                                   size_t len, int64_t timestamp);

}  // extern "C"
