#include "wpi/DataLogWriter.h"

#include <cerrno>
#include <string>

namespace wpi::log {

DataLogWriter::DataLogWriter(std::string_view filename, std::error_code& ec,
                             std::string_view extraHeader)
    : DataLogWriter{s_defaultMessageLog, filename, ec, extraHeader} {}

DataLogWriter::DataLogWriter(wpi::Logger& msglog, std::string_view filename, std::error_code& ec,
                             std::string_view extraHeader)
    : DataLog{msglog, extraHeader} {
  errno = 0;
  m_file.reset(std::fopen(std::string{filename}.c_str(), "wb"));
  if (!m_file) {
    ec = std::error_code{errno != 0 ? errno : EIO, std::generic_category()};
    return;  // the log stays stopped: it gathers nothing it could not write
  }
  ec.clear();
  StartFile();
}

DataLogWriter::~DataLogWriter() { Stop(); }

void DataLogWriter::Flush() {
  FlushRecords();
  std::scoped_lock lock{m_fileMutex};
  if (m_file) {
    std::fflush(m_file.get());
  }
}

void DataLogWriter::Stop() {
  DataLog::Stop();
  FlushRecords();
  std::scoped_lock lock{m_fileMutex};
  m_file.reset();
}

void DataLogWriter::WriteOut(std::span<const uint8_t> bytes) {
  std::scoped_lock lock{m_fileMutex};
  if (m_file) {
    std::fwrite(bytes.data(), 1, bytes.size(), m_file.get());
  }
}

}  // namespace wpi::log
