// The cost of the library's C face on the simulated robot, beside the stand-in HAL's own cost
// for the same bus operation: the library's overhead is the difference within each pair.
//
//   Setter/HAL_CAN_SendMessage        one MotorSpeed frame straight through the HAL
//   Setter/c_Ordex_setMotorSpeed      the same frame built and sent by the library
//   Reading/HAL_ReadCANPacketLatest   one MotorRPM frame straight from the HAL
//   Reading/c_Ordex_getRPM            the same frame read and decoded by the library
//
// The simulated controller listens on the bus in both cases (every frame sent reaches it), and
// runs on manual time, so no status thread competes for the bus while a figure is taken.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>

#include "SimOrdex.h"
#include "hal/CAN.h"
#include "hal/CANAPI.h"
#include "halsim/SimControl.h"
#include "halvern/Ordex.h"
#include "ordex/OrdexMessages.h"

namespace {

namespace msg = halvern::ordex;

constexpr int32_t kDevice = 5;
constexpr double kReportedRpm = 1234.5;

/** A controller created through the library on a simulated one, and a raw HAL handle beside. */
class BenchRobot {
 public:
  BenchRobot()
      : simulated_(kDevice, {.timing = halvern::sim::OrdexTiming::Manual}),
        handle_(c_Ordex_create(kDevice, 15000)),
        rawHandle_(openRawHandle()) {
    simulated_.setRpmOverride(0, kReportedRpm);
    simulated_.publishNow();
  }
  BenchRobot(const BenchRobot&) = delete;
  BenchRobot& operator=(const BenchRobot&) = delete;
  ~BenchRobot() {
    HAL_CleanCAN(rawHandle_);
    if (handle_ != 0) {
      c_Ordex_destroy(handle_);
    }
  }

  [[nodiscard]] bool ready() const {
    return handle_ != 0 && rawHandle_ != 0 && c_Ordex_getRPM(handle_, 0) == kReportedRpm;
  }
  [[nodiscard]] int32_t handle() const { return handle_; }
  [[nodiscard]] int32_t rawHandle() const { return rawHandle_; }

 private:
  static int32_t openRawHandle() {
    int32_t status = 0;
    return HAL_InitializeCAN(static_cast<HAL_CANManufacturer>(msg::kManufacturer), kDevice,
                             static_cast<HAL_CANDeviceType>(msg::kDeviceType), &status);
  }

  halvern::sim::SimOrdex simulated_;
  int32_t handle_;
  int32_t rawHandle_;
};

void registerBenchmarks(const BenchRobot& robot) {
  benchmark::RegisterBenchmark("Setter/HAL_CAN_SendMessage", [](benchmark::State& state) {
    const uint32_t id = msg::ordexMessageId(msg::Api::MotorSpeed, kDevice);
    const msg::Frame payload{0, 50, 1, 0, 0, 0, 0, 0};
    int32_t status = 0;
    for (auto _ : state) {
      HAL_CAN_SendMessage(id, payload.data(), 8, HAL_CAN_SEND_PERIOD_NO_REPEAT, &status);
      benchmark::DoNotOptimize(status);
    }
  });
  benchmark::RegisterBenchmark("Setter/c_Ordex_setMotorSpeed", [&robot](benchmark::State& state) {
    const int32_t handle = robot.handle();
    for (auto _ : state) {
      c_Ordex_setMotorSpeed(handle, 0, 0.5);
    }
  });
  benchmark::RegisterBenchmark(
      "Reading/HAL_ReadCANPacketLatest", [&robot](benchmark::State& state) {
        const int32_t handle = robot.rawHandle();
        const int32_t api = msg::apiNumber(msg::Api::MotorRPM);
        msg::Frame frame{};
        int32_t length = 0;
        uint64_t timestamp = 0;
        int32_t status = 0;
        for (auto _ : state) {
          HAL_ReadCANPacketLatest(handle, api, frame.data(), &length, &timestamp, &status);
          benchmark::DoNotOptimize(frame);
        }
      });
  benchmark::RegisterBenchmark("Reading/c_Ordex_getRPM", [&robot](benchmark::State& state) {
    const int32_t handle = robot.handle();
    for (auto _ : state) {
      benchmark::DoNotOptimize(c_Ordex_getRPM(handle, 0));
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  int result = 0;
  {
    // Lives across every run, and is gone (controller destroyed) before the library unloads.
    const BenchRobot robot;
    if (robot.ready()) {
      registerBenchmarks(robot);
      benchmark::RunSpecifiedBenchmarks();
    } else {
      std::fprintf(stderr, "the simulated controller could not be set up\n");
      result = 1;
    }
  }
  benchmark::Shutdown();
  return result;
}
