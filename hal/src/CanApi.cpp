// Handle-based CAN: a handle names one device; reads look up frames by its full identifier.
#include "hal/CANAPI.h"

#include <algorithm>
#include <mutex>

#include "SimState.h"
#include "hal/CAN.h"

namespace {

using namespace halsim::detail;

enum class ReadKind { Latest, NewSinceLastRead };

void readPacket(ReadKind kind, HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                uint64_t* receivedTimestamp, int32_t* status) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  const auto record = can.handles.find(handle);
  if (record == can.handles.end()) {
    setStatus(status, kHandleError);
    return;
  }
  const uint32_t api = static_cast<uint32_t>(apiId) & kApiIdMask;
  const auto received = can.received.find(record->second.fullId(api));
  uint64_t& lastRead = record->second.lastReadSequence[api];
  if (received == can.received.end() ||
      (kind == ReadKind::NewSinceLastRead && received->second.sequence <= lastRead)) {
    setStatus(status, HAL_ERR_CANSessionMux_MessageNotFound);
    return;
  }
  lastRead = received->second.sequence;
  const halsim::CanFrame& frame = received->second.frame;
  if (data != nullptr) {
    std::copy_n(frame.data.begin(), frame.length, data);
  }
  if (length != nullptr) {
    *length = frame.length;
  }
  if (receivedTimestamp != nullptr) {
    *receivedTimestamp = frame.timestampUs;
  }
  setStatus(status, 0);
}

}  // namespace

extern "C" {

HAL_CANHandle HAL_InitializeCAN(HAL_CANManufacturer manufacturer, int32_t deviceId,
                                HAL_CANDeviceType deviceType, int32_t* status) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  if (can.initializeStatus != 0) {
    setStatus(status, can.initializeStatus);
    return HAL_kInvalidHandle;
  }
  const HAL_CANHandle handle = newHandle();
  can.handles.emplace(handle, CanHandleRecord{.manufacturer = static_cast<uint32_t>(manufacturer),
                                              .deviceType = static_cast<uint32_t>(deviceType),
                                              .deviceNumber = static_cast<uint32_t>(deviceId),
                                              .lastReadSequence = {}});
  setStatus(status, 0);
  return handle;
}

void HAL_CleanCAN(HAL_CANHandle handle) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  can.handles.erase(handle);
}

void HAL_ReadCANPacketNew(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                          uint64_t* receivedTimestamp, int32_t* status) {
  readPacket(ReadKind::NewSinceLastRead, handle, apiId, data, length, receivedTimestamp, status);
}

void HAL_ReadCANPacketLatest(HAL_CANHandle handle, int32_t apiId, uint8_t* data, int32_t* length,
                             uint64_t* receivedTimestamp, int32_t* status) {
  readPacket(ReadKind::Latest, handle, apiId, data, length, receivedTimestamp, status);
}

}  // extern "C"
