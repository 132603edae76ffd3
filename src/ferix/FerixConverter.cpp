#include "ferix/FerixConverter.h"

#include <utility>

#include "ferix/FerixProtocol.h"

namespace halvern::ferix {

FerixConverter::FerixConverter(ConvertInput convert)
    : convertInput(std::move(convert)), thread([this] { run(); }) {}

FerixConverter::~FerixConverter() {
  {
    const std::lock_guard lock(wakeMutex);
    running = false;
  }
  wake.notify_all();
  thread.join();
}

void FerixConverter::run() {
  for (uint8_t channel = 0;; channel = static_cast<uint8_t>((channel + 1) % kChannelCount)) {
    {
      std::unique_lock lock(wakeMutex);
      if (wake.wait_for(lock, kConversionGap, [this] { return !running; })) {
        return;
      }
    }
    convertInput(channel);
  }
}

}  // namespace halvern::ferix
