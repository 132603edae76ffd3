// Readings that say when they arrived, and whether the controller is still sending: each is one
// read of the newest frame the HAL holds, so none waits.
#include <exception>

#include "halvern/Ordex.h"
#include "ordex/OrdexBus.h"

namespace {

using namespace halvern::ordex;  // NOLINT(google-build-using-namespace)

// Notes a status frame's receive time towards the controller's connection state.
void noteStatusFrame(int32_t handle, int64_t timestampUs) {
  if (const auto session = sessionOf(handle); session != nullptr) {
    session->statusTraffic().noteTraffic(timestampUs);
  }
}

// Reads the newest frame of `apiId` into `reading`, decoded by `decode`; all zero when none
// arrived or the read failed.
template <typename Decode>
OrdexReading* readInto(int32_t handle, int32_t apiId, OrdexReading* reading, Decode decode) {
  if (reading == nullptr) {
    return nullptr;
  }
  *reading = OrdexReading{};
  ReadResult result;
  try {
    result = readMessage(handle, apiId, ReadMode::Latest);
  } catch (const std::exception&) {
    return reading;
  }
  if (result.received) {
    reading->value = decode(result.frame);
    reading->timestampUs = result.timestampUs;
    reading->received = true;
    noteStatusFrame(handle, result.timestampUs);
  }
  return reading;
}

// A reading for a channel outside 0 to 3: nothing is read.
OrdexReading* nothingRead(OrdexReading* reading) {
  if (reading != nullptr) {
    *reading = OrdexReading{};
  }
  return reading;
}

double scaleOf(int8_t encoder) {
  return registry().encoderDistanceScale.at(static_cast<std::size_t>(encoder));
}

}  // namespace

extern "C" {

bool c_Ordex_isConnected(int32_t handle) {
  const auto session = sessionOf(handle);
  if (session == nullptr) {
    return false;
  }
  OrdexReading temperature{};
  c_Ordex_readControllerTemp(handle, &temperature);  // notes its stamp
  return session->statusTraffic().connected();
}

OrdexReading* c_Ordex_readRPM(int32_t handle, int8_t motor, OrdexReading* reading) {
  if (!isChannel(motor)) {
    return nothingRead(reading);
  }
  return readInto(handle, channelApi(Api::MotorRPM, motor), reading, decodeHundredths);
}

OrdexReading* c_Ordex_readTargetRPM(int32_t handle, int8_t motor, OrdexReading* reading) {
  if (!isChannel(motor)) {
    return nothingRead(reading);
  }
  return readInto(handle, channelApi(Api::TargetRPM, motor), reading, decodeHundredths);
}

OrdexReading* c_Ordex_readEncoderCount(int32_t handle, int8_t encoder, OrdexReading* reading) {
  if (!isChannel(encoder)) {
    return nothingRead(reading);
  }
  return readInto(handle, channelApi(Api::EncoderCount, encoder), reading,
                  [](const Frame& frame) { return static_cast<double>(decodeInt32(frame)); });
}

OrdexReading* c_Ordex_readEncoderDistance(int32_t handle, int8_t encoder, OrdexReading* reading) {
  if (!isChannel(encoder)) {
    return nothingRead(reading);
  }
  const double scale = scaleOf(encoder);
  return readInto(handle, channelApi(Api::EncoderCount, encoder), reading,
                  [scale](const Frame& frame) { return decodeInt32(frame) * scale; });
}

OrdexReading* c_Ordex_readControllerTemp(int32_t handle, OrdexReading* reading) {
  return readInto(handle, apiNumber(Api::ControllerTemp), reading, decodeTemperature);
}

OrdexReading* c_Ordex_readFrequency(int32_t handle, OrdexReading* reading) {
  return readInto(handle, apiNumber(Api::FrequencyStatus), reading,
                  [](const Frame& frame) { return static_cast<double>(decodeUint16(frame)); });
}

OrdexReading* c_Ordex_readQuorinPosition(int32_t handle, int8_t motor, OrdexReading* reading) {
  if (!isChannel(motor)) {
    return nothingRead(reading);
  }
  return readInto(handle, apiNumber(Api::QuorinPositions), reading,
                  [motor](const Frame& frame) { return decodeQuorinPosition(frame, motor); });
}

OrdexReading* c_Ordex_readLimitSwitch(int32_t handle, int8_t motor, bool direction,
                                      OrdexReading* reading) {
  if (!isChannel(motor)) {
    return nothingRead(reading);
  }
  return readInto(handle, apiNumber(Api::LimitSwitches), reading,
                  [motor, direction](const Frame& frame) {
                    return decodeLimitSwitch(frame, motor, direction) ? 1.0 : 0.0;
                  });
}

}  // extern "C"
