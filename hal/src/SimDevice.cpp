// SimDevices: named devices with typed values, as WPILib's simulation keeps them. Device and
// value handles never repeat within a process, so a freed device's handles stay invalid.
#include "hal/SimDevice.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimCallbacks.h"
#include "hal/simulation/SimDeviceData.h"

namespace {

struct ValueRecord {
  HAL_SimDeviceHandle device = 0;
  std::string name;
  int32_t direction = HAL_SimValueInput;
  HAL_Value value{};
  std::vector<std::string> enumOptions;
  std::vector<const char*> enumOptionPointers;  // into enumOptions
};

struct DeviceRecord {
  std::string name;
  std::vector<HAL_SimValueHandle> values;  // in creation order
};

struct ValueCallback {
  HAL_SimValueHandle value;
  HALSIM_SimValueCallback callback;
  void* param;
};

struct SimDeviceState {
  std::recursive_mutex mutex;  // callbacks run under it and may read values
  std::map<HAL_SimDeviceHandle, DeviceRecord> devices;
  std::map<HAL_SimValueHandle, ValueRecord> values;
  std::map<int32_t, ValueCallback> changedCallbacks;
  HAL_SimDeviceHandle nextDevice = 1;
  HAL_SimValueHandle nextValue = 1;
  int32_t nextCallbackUid = 1;
};

SimDeviceState& state() {
  static SimDeviceState instance;
  return instance;
}

// Created while the library loads, as the rest of the simulation's state is (SimState.cpp): a
// program's static objects are created later, so they are destroyed earlier and may still free
// their SimDevices in their destructors.
[[maybe_unused]] const bool createdAtLoad = (static_cast<void>(state()), true);

bool hasPrefix(const std::string& name, const char* prefix) {
  return prefix == nullptr || name.starts_with(prefix);
}

void notifyChanged(SimDeviceState& sim, HAL_SimValueHandle handle, const ValueRecord& record) {
  // A copy: a callback may cancel itself.
  const auto callbacks = sim.changedCallbacks;
  for (const auto& [uid, entry] : callbacks) {
    if (entry.value == handle) {
      entry.callback(record.name.c_str(), entry.param, handle, record.direction, &record.value);
    }
  }
}

/** The device of that name, or the invalid handle; mutex held. */
HAL_SimDeviceHandle findDevice(const SimDeviceState& sim, const char* name) {
  for (const auto& [handle, device] : sim.devices) {
    if (device.name == name) {
      return handle;
    }
  }
  return HAL_kInvalidHandle;
}

/** The device's value of that name, or the invalid handle; mutex held. */
HAL_SimValueHandle findValue(SimDeviceState& sim, const DeviceRecord& device, const char* name) {
  for (const HAL_SimValueHandle value : device.values) {
    if (sim.values.at(value).name == name) {
      return value;
    }
  }
  return HAL_kInvalidHandle;
}

HAL_SimValueHandle createValue(HAL_SimDeviceHandle device, const char* name, int32_t direction,
                               const HAL_Value& initial, std::vector<std::string> options = {}) {
  if (name == nullptr) {
    return HAL_kInvalidHandle;
  }
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.devices.find(device);
  if (found == sim.devices.end() || findValue(sim, found->second, name) != HAL_kInvalidHandle) {
    return HAL_kInvalidHandle;
  }
  const HAL_SimValueHandle handle = sim.nextValue++;
  ValueRecord record{.device = device,
                     .name = name,
                     .direction = direction,
                     .value = initial,
                     .enumOptions = std::move(options),
                     .enumOptionPointers = {}};
  auto& stored = sim.values.emplace(handle, std::move(record)).first->second;
  for (const std::string& option : stored.enumOptions) {
    stored.enumOptionPointers.push_back(option.c_str());
  }
  found->second.values.push_back(handle);
  return handle;
}

}  // namespace

extern "C" {

HAL_SimDeviceHandle HAL_CreateSimDevice(const char* name) {
  if (name == nullptr) {
    return HAL_kInvalidHandle;
  }
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  if (findDevice(sim, name) != HAL_kInvalidHandle) {
    return HAL_kInvalidHandle;  // names are unique
  }
  const HAL_SimDeviceHandle handle = sim.nextDevice++;
  sim.devices.emplace(handle, DeviceRecord{.name = name, .values = {}});
  return handle;
}

void HAL_FreeSimDevice(HAL_SimDeviceHandle handle) {
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.devices.find(handle);
  if (found == sim.devices.end()) {
    return;
  }
  for (const HAL_SimValueHandle value : found->second.values) {
    sim.values.erase(value);
    std::erase_if(sim.changedCallbacks, [value](const auto& entry) {
      return entry.second.value == value;
    });
  }
  sim.devices.erase(found);
}

const char* HAL_GetSimDeviceName(HAL_SimDeviceHandle handle) {
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.devices.find(handle);
  return found == sim.devices.end() ? "" : found->second.name.c_str();
}

HAL_SimValueHandle HAL_CreateSimValue(HAL_SimDeviceHandle device, const char* name,
                                      int32_t direction, const struct HAL_Value* initialValue) {
  if (initialValue == nullptr) {
    return HAL_kInvalidHandle;
  }
  return createValue(device, name, direction, *initialValue);
}

HAL_SimValueHandle HAL_CreateSimValueEnum(HAL_SimDeviceHandle device, const char* name,
                                          int32_t direction, int32_t numOptions,
                                          const char** options, int32_t initialValue) {
  std::vector<std::string> names;
  for (int32_t i = 0; options != nullptr && i < numOptions; ++i) {
    names.emplace_back(options[i] == nullptr ? "" : options[i]);
  }
  return createValue(device, name, direction, HAL_MakeEnum(initialValue), std::move(names));
}

HAL_SimValueHandle HAL_CreateSimValueEnumDouble(HAL_SimDeviceHandle device, const char* name,
                                                int32_t direction, int32_t numOptions,
                                                const char** options,
                                                const double* /*optionValues*/,
                                                int32_t initialValue) {
  return HAL_CreateSimValueEnum(device, name, direction, numOptions, options, initialValue);
}

void HAL_GetSimValue(HAL_SimValueHandle handle, struct HAL_Value* value) {
  if (value == nullptr) {
    return;
  }
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.values.find(handle);
  if (found == sim.values.end()) {
    value->type = HAL_UNASSIGNED;
    value->data.v_long = 0;
    return;
  }
  *value = found->second.value;
}

void HAL_SetSimValue(HAL_SimValueHandle handle, const struct HAL_Value* value) {
  if (value == nullptr) {
    return;
  }
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.values.find(handle);
  if (found == sim.values.end() || found->second.value.type != value->type) {
    return;
  }
  found->second.value = *value;
  notifyChanged(sim, handle, found->second);
}

void HAL_ResetSimValue(HAL_SimValueHandle handle) {
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.values.find(handle);
  if (found == sim.values.end()) {
    return;
  }
  HAL_Value& value = found->second.value;
  switch (value.type) {
    case HAL_INT:
      value.data.v_int = 0;
      break;
    case HAL_LONG:
      value.data.v_long = 0;
      break;
    case HAL_DOUBLE:
      value.data.v_double = 0.0;
      break;
    default:
      return;  // booleans and enums have no reset
  }
  notifyChanged(sim, handle, found->second);
}

// ---------------------------------------------------------------------------------------------
// The simulation's side

void HALSIM_SetSimDeviceEnabled(const char* /*prefix*/, HAL_Bool /*enabled*/) {}
HAL_Bool HALSIM_IsSimDeviceEnabled(const char* /*name*/) { return 1; }

int32_t HALSIM_RegisterSimDeviceCreatedCallback(const char* prefix, void* param,
                                                HALSIM_SimDeviceCallback callback,
                                                HAL_Bool initialNotify) {
  // Only the initial notification: nothing of this project listens for later creations.
  if (callback != nullptr && initialNotify) {
    HALSIM_EnumerateSimDevices(prefix, param, callback);
  }
  return 0;
}
void HALSIM_CancelSimDeviceCreatedCallback(int32_t /*uid*/) {}
int32_t HALSIM_RegisterSimDeviceFreedCallback(const char* /*prefix*/, void* /*param*/,
                                              HALSIM_SimDeviceCallback /*callback*/,
                                              HAL_Bool /*initialNotify*/) {
  return 0;
}
void HALSIM_CancelSimDeviceFreedCallback(int32_t /*uid*/) {}

HAL_SimDeviceHandle HALSIM_GetSimDeviceHandle(const char* name) {
  if (name == nullptr) {
    return HAL_kInvalidHandle;
  }
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  return findDevice(sim, name);
}

const char* HALSIM_GetSimDeviceName(HAL_SimDeviceHandle handle) {
  return HAL_GetSimDeviceName(handle);
}

HAL_SimDeviceHandle HALSIM_GetSimValueDeviceHandle(HAL_SimValueHandle handle) {
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.values.find(handle);
  return found == sim.values.end() ? HAL_kInvalidHandle : found->second.device;
}

void HALSIM_EnumerateSimDevices(const char* prefix, void* param,
                                HALSIM_SimDeviceCallback callback) {
  if (callback == nullptr) {
    return;
  }
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto devices = sim.devices;
  for (const auto& [handle, device] : devices) {
    if (hasPrefix(device.name, prefix)) {
      callback(device.name.c_str(), param, handle);
    }
  }
}

int32_t HALSIM_RegisterSimValueCreatedCallback(HAL_SimDeviceHandle device, void* param,
                                               HALSIM_SimValueCallback callback,
                                               HAL_Bool initialNotify) {
  if (callback != nullptr && initialNotify) {
    HALSIM_EnumerateSimValues(device, param, callback);
  }
  return 0;
}
void HALSIM_CancelSimValueCreatedCallback(int32_t /*uid*/) {}

int32_t HALSIM_RegisterSimValueChangedCallback(HAL_SimValueHandle handle, void* param,
                                               HALSIM_SimValueCallback callback,
                                               HAL_Bool initialNotify) {
  if (callback == nullptr) {
    return 0;
  }
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.values.find(handle);
  if (found == sim.values.end()) {
    return 0;
  }
  const int32_t uid = sim.nextCallbackUid++;
  sim.changedCallbacks.emplace(uid, ValueCallback{handle, callback, param});
  if (initialNotify) {
    callback(found->second.name.c_str(), param, handle, found->second.direction,
             &found->second.value);
  }
  return uid;
}

void HALSIM_CancelSimValueChangedCallback(int32_t uid) {
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  sim.changedCallbacks.erase(uid);
}

HAL_SimValueHandle HALSIM_GetSimValueHandle(HAL_SimDeviceHandle device, const char* name) {
  if (name == nullptr) {
    return HAL_kInvalidHandle;
  }
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.devices.find(device);
  return found == sim.devices.end() ? HAL_kInvalidHandle : findValue(sim, found->second, name);
}

void HALSIM_EnumerateSimValues(HAL_SimDeviceHandle device, void* param,
                               HALSIM_SimValueCallback callback) {
  if (callback == nullptr) {
    return;
  }
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.devices.find(device);
  if (found == sim.devices.end()) {
    return;
  }
  const auto values = found->second.values;
  for (const HAL_SimValueHandle handle : values) {
    const ValueRecord& record = sim.values.at(handle);
    callback(record.name.c_str(), param, handle, record.direction, &record.value);
  }
}

const char** HALSIM_GetSimValueEnumOptions(HAL_SimValueHandle handle, int32_t* numOptions) {
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  const auto found = sim.values.find(handle);
  if (found == sim.values.end() || found->second.enumOptionPointers.empty()) {
    if (numOptions != nullptr) {
      *numOptions = 0;
    }
    return nullptr;
  }
  if (numOptions != nullptr) {
    *numOptions = static_cast<int32_t>(found->second.enumOptionPointers.size());
  }
  return found->second.enumOptionPointers.data();
}

void HALSIM_ResetSimDeviceData(void) {
  auto& sim = state();
  const std::scoped_lock lock(sim.mutex);
  sim.devices.clear();
  sim.values.clear();
  sim.changedCallbacks.clear();
}

}  // extern "C"
