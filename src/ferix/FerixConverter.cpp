#include "ferix/FerixConverter.h"

#include <utility>

#include "ferix/FerixProtocol.h"

namespace halvern::ferix {

FerixConverter::FerixConverter(ConvertInput convert)
    : convertInput(std::move(convert)),
      thread([this](const std::stop_token& stop) { run(stop); }) {}

void FerixConverter::run(const std::stop_token& stop) {
  for (uint8_t channel = 0;; channel = static_cast<uint8_t>((channel + 1) % kChannelCount)) {
    {
      std::unique_lock lock(wakeMutex);
      wake.wait_for(lock, stop, kConversionGap, [] { return false; });
    }
    if (stop.stop_requested()) {
      return;
    }
    convertInput(channel);
  }
}

}  // namespace halvern::ferix
