// Creating and destroying Ordex controllers.
#include <exception>
#include <memory>
#include <mutex>
#include <utility>

#include "core/ErrorText.h"
#include "core/HalPlatform.h"
#include "core/LibraryState.h"
#include "halvern/Ordex.h"
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
void registerController(int32_t handle, int32_t deviceId) {
  auto fresh = std::make_shared<ControllerSession>(handle, deviceId);
  std::shared_ptr<ControllerSession> previous;
  {
    auto& reg = registry();
    const std::lock_guard lock(reg.mutex);
    reg.deviceIdByHandle[handle] = deviceId;
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
  if (deviceId < kMinDeviceNumber || deviceId > kMaxDeviceNumber) {
    halvern::reportError(kDeviceIdOutOfRange);
    return 0;
  }
  if (frequency < kMinFrequency || frequency > kMaxFrequency) {
    halvern::reportError(kFrequencyOutOfRange);
    return 0;
  }

  int32_t status = 0;
  const halvern::platform::CanHandle handle =
      halvern::platform::canInitialize(kManufacturer, deviceId, kDeviceType, status);
  if (status != 0) {
    halvern::reportError(kNotInitialized);
    return 0;
  }

  try {
    registerController(handle, deviceId);
    for (int8_t motor = 0; motor < kChannelCount; ++motor) {
      ordexSend(messageBase(Api::ConfigureMotor), configureMotorPayload(motor, frequency),
                deviceId);
    }
    halvern::libraryState().ordexHeartbeat.add(handle, deviceId);
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

}  // extern "C"
