// Stand-in for WPILib's logger: a log function and the lowest level passed on to it.
#pragma once

#include <functional>
#include <utility>

namespace wpi {

enum LogLevel {
  WPI_LOG_CRITICAL = 50,
  WPI_LOG_ERROR = 40,
  WPI_LOG_WARNING = 30,
  WPI_LOG_INFO = 20,
  WPI_LOG_DEBUG = 10,
};

class Logger {
 public:
  using LogFunc = std::function<void(unsigned int level, const char* file, unsigned int line,
                                     const char* msg)>;

  Logger() = default;
  /** Passes on messages of level 20 (info) and above. Inline, as WPILib's is: a program built
   *  against these headers must not need it from the library. */
  explicit Logger(LogFunc func) : func_(std::move(func)) {}

  void set_min_level(unsigned int level) { minLevel_ = level; }
  [[nodiscard]] unsigned int min_level() const { return minLevel_; }
  [[nodiscard]] bool HasLogger() const { return static_cast<bool>(func_); }

  /** Calls the log function when `level` is at least the minimum level. */
  void DoLog(unsigned int level, const char* file, unsigned int line, const char* msg);

 private:
  LogFunc func_;
  unsigned int minLevel_ = WPI_LOG_INFO;
};

}  // namespace wpi
