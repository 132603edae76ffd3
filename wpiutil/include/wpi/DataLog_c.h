// Stand-in for WPILib's data log, its C API: a struct WPI_DataLog* is the wpi::log::DataLog* of
// the C++ API. Timestamps are in microseconds; 0 means now.
#pragma once

#include <stddef.h>  // NOLINT

#include <stdint.h>
#include <wpi/string.h>

#ifdef __cplusplus
extern "C" {
#endif

/** A data log (opaque). */
struct WPI_DataLog;

/** A log writing to `filename`; `*errorCode` is 0, or why the file could not be opened. */
struct WPI_DataLog* WPI_DataLog_CreateWriter(
    const struct WPI_String* filename, int* errorCode,
    const struct WPI_String* extraHeader);

/**
 * A log whose appends only gather records, written to `filename` in the folder `dir` by a thread
 * of its own every `period` seconds (wpi::log::DataLogBackgroundWriter): as DataLogManager logs.
 */
struct WPI_DataLog* WPI_DataLog_CreateBackgroundWriter(
    const struct WPI_String* dir, const struct WPI_String* filename,
    double period, const struct WPI_String* extraHeader);

/** The same, handing the log's bytes to `write` (with `ptr`) instead of a file. */
struct WPI_DataLog* WPI_DataLog_CreateBackgroundWriter_Func(
    void (*write)(void* ptr, const uint8_t* data, size_t len), void* ptr,
    double period, const struct WPI_String* extraHeader);

/** Renames a background writer's file: does nothing on the stand-in. */
void WPI_DataLog_SetBackgroundWriterFilename(struct WPI_DataLog* datalog,
                                             const struct WPI_String* filename);

/** Writes out what is left, closes the file and frees the log. */
void WPI_DataLog_Release(struct WPI_DataLog* datalog);

/** Writes the records gathered so far to the file. */
void WPI_DataLog_Flush(struct WPI_DataLog* datalog);

/** Drops data records until WPI_DataLog_Resume(); entry starts, finishes and metadata stay. */
void WPI_DataLog_Pause(struct WPI_DataLog* datalog);

void WPI_DataLog_Resume(struct WPI_DataLog* datalog);

/** Writes out what is left and closes the file: nothing is recorded after it. */
void WPI_DataLog_Stop(struct WPI_DataLog* datalog);

/**
 * Starts an entry and returns its id. Starting a started name again with the same type returns
 * the same id (starts and finishes are counted); with another type it returns 0, which every
 * append ignores.
 */
int WPI_DataLog_Start(struct WPI_DataLog* datalog,
                      const struct WPI_String* name,
                      const struct WPI_String* type,
                      const struct WPI_String* metadata, int64_t timestamp);

void WPI_DataLog_Finish(struct WPI_DataLog* datalog, int entry,
                        int64_t timestamp);

void WPI_DataLog_SetMetadata(struct WPI_DataLog* datalog, int entry,
                             const struct WPI_String* metadata,
                             int64_t timestamp);

void WPI_DataLog_AppendRaw(struct WPI_DataLog* datalog, int entry,
                           const uint8_t* data, size_t len, int64_t timestamp);

void WPI_DataLog_AppendBoolean(struct WPI_DataLog* datalog, int entry,
                               int value, int64_t timestamp);

void WPI_DataLog_AppendInteger(struct WPI_DataLog* datalog, int entry,
                               int64_t value, int64_t timestamp);

void WPI_DataLog_AppendFloat(struct WPI_DataLog* datalog, int entry,
                             float value, int64_t timestamp);

void WPI_DataLog_AppendDouble(struct WPI_DataLog* datalog, int entry,
                              double value, int64_t timestamp);

void WPI_DataLog_AppendString(struct WPI_DataLog* datalog, int entry,
                              const struct WPI_String* value,
                              int64_t timestamp);

void WPI_DataLog_AppendBooleanArray(struct WPI_DataLog* datalog, int entry,
                                    const int* arr, size_t len,
                                    int64_t timestamp);

void WPI_DataLog_AppendBooleanArrayByte(struct WPI_DataLog* datalog, int entry,
                                        const uint8_t* arr, size_t len,
                                        int64_t timestamp);

void WPI_DataLog_AppendIntegerArray(struct WPI_DataLog* datalog, int entry,
                                    const int64_t* arr, size_t len,
                                    int64_t timestamp);

void WPI_DataLog_AppendFloatArray(struct WPI_DataLog* datalog, int entry,
                                  const float* arr, size_t len,
                                  int64_t timestamp);

void WPI_DataLog_AppendDoubleArray(struct WPI_DataLog* datalog, int entry,
                                   const double* arr, size_t len,
                                   int64_t timestamp);

void WPI_DataLog_AppendStringArray(struct WPI_DataLog* datalog, int entry,
                                   const struct WPI_String* arr, size_t len,
                                   int64_t timestamp);

/** Logs a schema as the raw value of the entry "/.schema/<name>"; a name is logged once. */
void WPI_DataLog_AddSchemaString(struct WPI_DataLog* datalog,
                                 const struct WPI_String* name,
                                 const struct WPI_String* type,
                                 const struct WPI_String* schema,
                                 int64_t timestamp);

void WPI_DataLog_AddSchema(struct WPI_DataLog* datalog,
                           const struct WPI_String* name,
                           const struct WPI_String* type, const uint8_t* schema,
                           size_t schema_len, int64_t timestamp);

#ifdef __cplusplus
}  // extern "C"
#endif
