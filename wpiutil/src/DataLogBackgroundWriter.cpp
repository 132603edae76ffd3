#include "wpi/DataLogBackgroundWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>

namespace wpi::log {
namespace {

std::string logPath(std::string_view dir, std::string_view filename) {
  std::string name{filename};
  if (name.empty()) {
    std::random_device random;
    std::mt19937_64 generator{(static_cast<uint64_t>(random()) << 32U) | random()};
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(generator()));
    name = std::string{"wpilog_"} + hex + ".wpilog";
  }
  if (dir.empty()) {
    return name;
  }
  std::string path{dir};
  if (path.back() != '/' && path.back() != '\\') {
    path += '/';
  }
  return path + name;
}

/** Writes to the file at `path`, which it opens now; empty when the file cannot be opened. */
std::function<void(std::span<const uint8_t>)> fileWriter(const std::string& path) {
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  errno = 0;
  std::FILE* opened = std::fopen(path.c_str(), "wb");
  if (opened == nullptr) {
    std::fprintf(stderr, "DataLog: Could not open log file '%s': %s\n", path.c_str(),
                 std::strerror(errno != 0 ? errno : EIO));
    return {};
  }
  std::shared_ptr<std::FILE> file{opened, FileCloser{}};
  return [file](std::span<const uint8_t> data) {
    std::fwrite(data.data(), 1, data.size(), file.get());
    std::fflush(file.get());
  };
}

}  // namespace

DataLogBackgroundWriter::DataLogBackgroundWriter(std::string_view dir, std::string_view filename,
                                                 double period, std::string_view extraHeader)
    : DataLogBackgroundWriter{fileWriter(logPath(dir, filename)), period, extraHeader} {}

DataLogBackgroundWriter::DataLogBackgroundWriter(
    std::function<void(std::span<const uint8_t> data)> write, double period,
    std::string_view extraHeader)
    : DataLog{s_defaultMessageLog, extraHeader},
      m_write{std::move(write)},
      m_period{period > 0.0 ? period : 0.25} {
  if (!m_write) {
    return;  // the log stays stopped: it gathers nothing it could not write
  }
  StartFile();
  m_thread = std::thread{&DataLogBackgroundWriter::Run, this};
}

DataLogBackgroundWriter::~DataLogBackgroundWriter() { Stop(); }

void DataLogBackgroundWriter::Flush() {
  FlushRecords();
  WritePending();
}

void DataLogBackgroundWriter::Stop() {
  DataLog::Stop();
  {
    std::scoped_lock lock{m_pendingMutex};
    m_stopping = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) {
    m_thread.join();
  }
  Flush();
}

void DataLogBackgroundWriter::WriteOut(std::span<const uint8_t> bytes) {
  std::scoped_lock lock{m_pendingMutex};
  m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
}

void DataLogBackgroundWriter::WritePending() {
  std::scoped_lock writing{m_writeMutex};
  std::vector<uint8_t> bytes;
  {
    std::scoped_lock lock{m_pendingMutex};
    bytes.swap(m_pending);
  }
  if (!bytes.empty() && m_write) {
    m_write(bytes);
  }
}

void DataLogBackgroundWriter::Run() {
  std::unique_lock lock{m_pendingMutex};
  while (!m_stopping) {
    m_wake.wait_for(lock, m_period, [this] { return m_stopping; });
    lock.unlock();
    Flush();
    lock.lock();
  }
}

}  // namespace wpi::log
