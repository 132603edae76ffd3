#include "wpi/Logger.h"

#include <utility>

namespace wpi {

Logger::Logger(LogFunc func) : func_(std::move(func)) {}

void Logger::DoLog(unsigned int level, const char* file, unsigned int line, const char* msg) {
  if (func_ && level >= minLevel_) {
    func_(level, file, line, msg);
  }
}

}  // namespace wpi
