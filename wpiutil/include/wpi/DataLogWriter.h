// Stand-in for WPILib's data log on a file: the records go to the file when gathered enough, on
// Flush(), on Stop() and when the writer goes.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>

#include "wpi/DataLog.h"

namespace wpi {
class Logger;
}  // namespace wpi

namespace wpi::log {

class DataLogWriter final : public DataLog {
 public:
  /** A log on `filename`, created or emptied; `ec` says why it could not be opened, if it
   *  could not (the log then records nothing). */
  explicit DataLogWriter(std::string_view filename, std::error_code& ec,
                         std::string_view extraHeader = "");

  /** The same, with errors going to `msglog`. */
  DataLogWriter(wpi::Logger& msglog, std::string_view filename,
                std::error_code& ec, std::string_view extraHeader = "");

  ~DataLogWriter() final;
  DataLogWriter(const DataLogWriter&) = delete;
  DataLogWriter& operator=(const DataLogWriter&) = delete;
  DataLogWriter(DataLogWriter&&) = delete;
  DataLogWriter& operator=(const DataLogWriter&&) = delete;

  void Flush() final;

  /** Writes out what is left and closes the file: nothing is recorded after it. */
  void Stop() final;

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  void WriteOut(std::span<const uint8_t> bytes) final;

  std::mutex m_fileMutex;  // the file, which Stop() closes while others may write out
  std::unique_ptr<std::FILE, FileCloser> m_file;
};

}  // namespace wpi::log
