// Handle-based CAN, built on the raw calls as in WPILib's simulation: a read is one receive of
// the handle's full identifier (mask 0x1FFFFFFF); "latest" falls back to the handle's copy of
// the last frame a receive answered. Timestamps are in milliseconds.
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
  const uint32_t api = static_cast<uint32_t>(apiId) & kApiIdMask;
  uint32_t id = 0;
  {
    std::scoped_lock lock(can.mutex);
    const auto record = can.handles.find(handle);
    if (record == can.handles.end()) {
      setStatus(status, kHandleError);
      return;
    }
    id = record->second.fullId(api);
  }
  CachedFrame frame;
  int32_t receiveStatus = 0;
  HAL_CAN_ReceiveMessage(&id, kExtendedIdMask, frame.data.data(), &frame.length,
                         &frame.timestampMs, &receiveStatus);
  std::scoped_lock lock(can.mutex);
  const auto record = can.handles.find(handle);
  if (record == can.handles.end()) {  // cleaned while the receive ran
    setStatus(status, kHandleError);
    return;
  }
  if (receiveStatus == 0) {
    frame.length = std::min<uint8_t>(frame.length, kMaxCanDataBytes);
    record->second.cache.insert_or_assign(api, frame);
  } else {
    const auto cached = record->second.cache.find(api);
    if (kind == ReadKind::NewSinceLastRead || cached == record->second.cache.end()) {
      setStatus(status, receiveStatus);
      return;
    }
    frame = cached->second;
  }
  if (data != nullptr) {
    std::copy_n(frame.data.begin(), frame.length, data);
  }
  if (length != nullptr) {
    *length = frame.length;
  }
  if (receivedTimestamp != nullptr) {
    *receivedTimestamp = frame.timestampMs;
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
                                              .cache = {}});
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
