#include "wpi/Logger.h"

#include <utility>

namespace wpi {

void Logger::DoLog(unsigned int level, const char* file, unsigned int line, const char* msg) {
  if (func_ && level >= minLevel_) {
    func_(level, file, line, msg);
  }
}

}  // namespace wpi
