// A recorded Ordex controller played into a simulated one: what its status frames reported goes
// into the values the simulator reports, its silences into the simulator's, its identity and
// serial number into its answers. The commands the program sent are not played: the program in
// simulation sends its own.
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SimLogPlayer.h"
#include "SimOrdex.h"
#include "ordex/OrdexLogSignals.h"
#include "halvern/Ordex.h"
#include "ordex/OrdexMessages.h"
#include "replay/RecordedRounds.h"

namespace halvern::sim {
namespace {

namespace logged = ordex::logged;

// A controller sends a round of status frames at once, a status period (20 ms) from the next.
constexpr std::chrono::microseconds kRoundGap{2000};

}  // namespace

void SimLogPlayer::attach(SimOrdex& sim, std::string device) {
  if (device.empty()) {
    device = sim.simDeviceName();
  }
  // What the status frames reported, into what the simulator reports.
  std::vector<std::pair<std::string, Feed>> readings;
  for (int m = 0; m < ORDEX_MOTOR_COUNT; ++m) {
    const auto signal = [m](std::string_view name) { return logged::motorSignal(m, name); };
    readings.emplace_back(signal(logged::kRpm), [&sim, m](const RecordedValue& value) {
      sim.setRpmOverride(m, value.number);
    });
    readings.emplace_back(signal(logged::kEncoder), [&sim, m](const RecordedValue& value) {
      sim.setEncoderCount(m, static_cast<int32_t>(value.integer));
    });
    readings.emplace_back(signal(logged::kTargetRpm), [&sim, m](const RecordedValue& value) {
      sim.setTargetRpmOverride(m, value.number);
    });
    readings.emplace_back(signal(logged::kLimitSwitches), [&sim, m](const RecordedValue& value) {
      for (std::size_t direction = 0; direction < value.booleans.size() && direction < 2;
           ++direction) {
        sim.setLimitSwitch(m, direction == 1, value.booleans[direction]);
      }
    });
    readings.emplace_back(signal(logged::kQuorinPosition), [&sim, m](const RecordedValue& value) {
      sim.setQuorinPosition(m, value.number);
    });
  }
  readings.emplace_back(logged::kTemperature, [&sim](const RecordedValue& value) {
    sim.setTemperatureOverride(value.number);
  });
  readings.emplace_back(logged::kFrequency, [&sim](const RecordedValue& value) {
    sim.setFrequencyOverride(static_cast<uint16_t>(value.integer));
  });

  // Each recorded round of status frames sent once its values are in, at its recorded time;
  // silent after the last round before each recorded drop.
  std::vector<std::string> names;
  for (const auto& reading : readings) {
    names.push_back(reading.first);
  }
  const auto rounds = std::make_shared<replay::RecordedRounds>(*this, device, logged::kConnected,
                                                               names, kRoundGap);
  for (auto& [name, feed] : readings) {
    onSignal(device, name, [&sim, rounds, apply = std::move(feed)](const RecordedValue& value) {
      apply(value);
      if (const auto fed = rounds->fed(value.timestamp); fed.roundDone) {
        sim.publishNow();
        if (fed.dropFollows) {
          sim.setStatusSilent(true);
        }
      }
    });
  }
  // A recorded drop silences it (if its last frame did not), a reconnection ends the silence:
  // its own period then sends the values recorded with it.
  onSignal(device, std::string{logged::kConnected}, [&sim](const RecordedValue& value) {
    sim.setStatusSilent(!value.boolean);
  });

  // The identity's signals arrive one by one: the next request is answered with what is
  // recorded so far.
  auto recorded = std::make_shared<OrdexIdentity>();
  const auto identityFeed = [&sim, recorded](auto apply) {
    return [&sim, recorded, apply](const RecordedValue& value) {
      apply(*recorded, value);
      sim.setIdentity(*recorded);
    };
  };
  onSignal(device, std::string{logged::kDeviceId},
           identityFeed([](OrdexIdentity& identity, const RecordedValue& value) {
             identity.reportedDeviceNumber = static_cast<uint8_t>(value.integer);
           }));
  onSignal(device, std::string{logged::kFirmwareVersion},
           identityFeed([](OrdexIdentity& identity, const RecordedValue& value) {
             unsigned major = 0;
             unsigned minor = 0;
             unsigned patch = 0;
             if (std::sscanf(value.text.c_str(), "%u.%u.%u", &major, &minor, &patch) == 3) {
               identity.firmware = {static_cast<uint8_t>(major), static_cast<uint8_t>(minor),
                                    static_cast<uint8_t>(patch)};
             }
           }));
  onSignal(device, std::string{logged::kHardware},
           identityFeed([](OrdexIdentity& identity, const RecordedValue& value) {
             identity.hardwareKind = ordex::hardwareKindNamed(value.text);
           }));
  onSignal(device, std::string{logged::kHardwareVersion},
           identityFeed([](OrdexIdentity& identity, const RecordedValue& value) {
             identity.hardwareVersion = static_cast<uint8_t>(value.integer);
           }));
  onSignal(device, std::string{logged::kSerialNumber}, [&sim](const RecordedValue& value) {
    std::array<unsigned, 3> words{};
    if (std::sscanf(value.text.c_str(), "%8X-%8X-%8X", &words[0], &words[1], &words[2]) == 3) {
      sim.setSerialWords({words[0], words[1], words[2]});
    }
  });
}

}  // namespace halvern::sim
