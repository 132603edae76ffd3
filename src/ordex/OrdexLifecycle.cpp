// Creating and destroying Ordex controllers.
#include <exception>
#include <memory>
#include <mutex>
#include <utility>

#include "core/ErrorText.h"
#include "core/HalPlatform.h"
#include "core/LibraryState.h"
#include "halvern/Ordex.h"
#include "ordex/CommandLog.h"
#include "ordex/OrdexBus.h"

namespace {

using namespace halvern::ordex;  // NOLINT(google-build-using-namespace)

constexpr int32_t kNotInitialized = 1000;
constexpr int32_t kFrequencyOutOfRange = 1001;
constexpr int32_t kDeviceIdOutOfRange = 1002;

// Forgets the handle; its session's background fetch is stopped and joined before this returns.
void forget(int32_t handle) {
  std::shared_ptr<ControllerSession> session;
  {
    auto& reg = registry();
    const std::lock_guard lock(reg.mutex);
    if (const auto found = reg.sessionByHandle.find(handle); found != reg.sessionByHandle.end()) {
      session = std::move(found->second);
      reg.sessionByHandle.erase(found);
    }
    reg.deviceIdByHandle.erase(handle);
    reg.busByHandle.erase(handle);
    reg.infoByHandle.erase(handle);
    reg.infoReadyByHandle.erase(handle);
  }
  // Outside the lock: the fetch takes it to store an answer.
  if (session != nullptr) {
    session->stopFetch();
  }
}

// Registers a new controller with an empty identity cache and a fresh session. A session the
// handle still had (a handle created twice without destroy) is stopped first.
void registerController(int32_t handle, int32_t deviceId, int32_t bus) {
  auto fresh = std::make_shared<ControllerSession>(handle, deviceId, IdentityFetchPace{}, bus);
  std::shared_ptr<ControllerSession> previous;
  {
    auto& reg = registry();
    const std::lock_guard lock(reg.mutex);
    reg.deviceIdByHandle[handle] = deviceId;
    reg.busByHandle[handle] = bus;
    reg.infoReadyByHandle[handle] = false;
    reg.infoByHandle.erase(handle);
    previous = std::exchange(reg.sessionByHandle[handle], std::move(fresh));
  }
  if (previous != nullptr) {
    previous->stopFetch();
  }
}

}  // namespace

extern "C" {

int32_t c_Ordex_create(int32_t deviceId, int32_t frequency) {
  return c_Ordex_createOnBus(halvern::platform::kDefaultCanBus, deviceId, frequency);
}

int32_t c_Ordex_createOnBus(int32_t bus, int32_t deviceId, int32_t frequency) {
  if (deviceId < kMinDeviceNumber || deviceId > kMaxDeviceNumber) {
    halvern::reportError(kDeviceIdOutOfRange);
    return 0;
  }
  if (frequency < kMinFrequency || frequency > kMaxFrequency) {
    halvern::reportError(kFrequencyOutOfRange);
    return 0;
  }
  if (!halvern::platform::canBusExists(bus)) {
    halvern::reportError(halvern::kCanBusOutOfRange);
    return 0;
  }

  int32_t status = 0;
  const halvern::platform::CanHandle handle =
      halvern::platform::canInitialize(bus, kManufacturer, deviceId, kDeviceType, status);
  if (status != 0) {
    halvern::reportError(kNotInitialized);
    return 0;
  }

  try {
    registerController(handle, deviceId, bus);
    for (int8_t motor = 0; motor < kChannelCount; ++motor) {
      const Frame payload = configureMotorPayload(motor, frequency);
      ordexSend(messageBase(Api::ConfigureMotor), payload, deviceId, bus);
      logMotorCommand(handle, motor, [&payload](ControllerLog::Motor& log, int64_t now) {
        log.configuredFrequency.append(static_cast<int64_t>(decodeChannelUint16(payload)), now);
      });
    }
    halvern::libraryState().ordexHeartbeat.add(handle, deviceId, bus);
  } catch (const std::exception&) {
    // Leave nothing behind: a failed creation holds no handle and no registry entry.
    forget(handle);
    halvern::platform::canClean(handle);
    halvern::reportError(kNotInitialized);
    return 0;
  }
  return handle;
}

void c_Ordex_destroy(int32_t handle) {
  halvern::libraryState().ordexHeartbeat.remove(handle);
  forget(handle);  // joins the identity fetch: nothing more is sent for the handle
  halvern::platform::canClean(handle);
}

int32_t c_Ordex_getCanBus(int32_t handle) {
  auto& reg = registry();
  const std::lock_guard lock(reg.mutex);
  const auto found = reg.busByHandle.find(handle);
  return found == reg.busByHandle.end() ? -1 : found->second;
}

}  // extern "C"
