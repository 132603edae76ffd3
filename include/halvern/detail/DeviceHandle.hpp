// What a C++ class of HalvernDriver holds of its device: a move-only owner that closes it once,
// when the object is closed or goes, so that the classes can default their moves. Not for robot
// programs to use directly.
#pragma once

#include <cstdint>
#include <mutex>
#include <utility>

namespace halvern::detail {

/**
 * Owns a handle of the C face: `CloseHandle(handle)` is called once, when Close() is called or the
 * owner goes; a moved-from owner, like a closed one, holds `Invalid`.
 */
template <typename Handle, auto CloseHandle, Handle Invalid = Handle{}>
class DeviceHandle {
 public:
  DeviceHandle() = default;
  explicit DeviceHandle(Handle handle) : m_handle(handle) {}

  DeviceHandle(const DeviceHandle&) = delete;
  DeviceHandle& operator=(const DeviceHandle&) = delete;

  DeviceHandle(DeviceHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, Invalid)) {}

  DeviceHandle& operator=(DeviceHandle&& other) noexcept {
    if (this != &other) {
      Close();
      m_handle = std::exchange(other.m_handle, Invalid);
    }
    return *this;
  }

  ~DeviceHandle() { Close(); }

  /** Closes the handle; closing again does nothing. */
  void Close() noexcept {
    if (m_handle != Invalid) {
      CloseHandle(std::exchange(m_handle, Invalid));
    }
  }

  /** The handle; `Invalid` once closed or moved from (every C function accepts that). */
  [[nodiscard]] Handle Get() const { return m_handle; }

  /** Whether it was closed or moved from. */
  [[nodiscard]] bool IsClosed() const { return m_handle == Invalid; }

 private:
  Handle m_handle = Invalid;
};

/**
 * Which object of a class owns the library's one instance of a device (the analog board, the
 * serial lidar, the mock driver station). Each new object takes it over with a fresh token; an
 * object whose token is no longer current was replaced and must leave the device alone, so that
 * closing it cannot close its successor's. `Family` tells the classes' records apart.
 */
template <typename Family>
class LibraryWideOwner {
 public:
  /** Held while an object uses the device, so that no other takes it over meanwhile. */
  static std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex()); }

  /** Makes a new token current and returns it; the caller holds Lock(). */
  static uint64_t TakeOver() {
    static uint64_t issued = 0;
    current() = ++issued;
    return current();
  }

  /** Whether `token` (0: none) is the current one; the caller holds Lock(). */
  static bool IsCurrent(uint64_t token) { return token != 0 && token == current(); }

  /** Gives the device up when `token` is current; returns whether it was. Holds Lock(). */
  static bool Release(uint64_t token) {
    if (!IsCurrent(token)) {
      return false;
    }
    current() = 0;
    return true;
  }

 private:
  static std::mutex& mutex() {
    static std::mutex instance;
    return instance;
  }
  static uint64_t& current() {
    static uint64_t token = 0;
    return token;
  }
};

/**
 * An object's hold on the library's one instance of a device, as a DeviceHandle is on a handle:
 * `CloseDevice(token)` is called once, under LibraryWideOwner<Family>::Lock(), when the hold is
 * closed or goes while it is still the current one; a hold that a newer object took over closes
 * nothing. A moved-from hold, like a closed one, holds the token 0.
 */
template <typename Family, auto CloseDevice>
class LibraryWideHandle {
 public:
  using Owner = LibraryWideOwner<Family>;

  LibraryWideHandle() = default;
  /** Takes the device over; the caller holds Owner::Lock(). */
  static LibraryWideHandle TakeOver() { return LibraryWideHandle(Owner::TakeOver()); }

  LibraryWideHandle(const LibraryWideHandle&) = delete;
  LibraryWideHandle& operator=(const LibraryWideHandle&) = delete;

  LibraryWideHandle(LibraryWideHandle&& other) noexcept
      : m_token(std::exchange(other.m_token, 0)) {}

  LibraryWideHandle& operator=(LibraryWideHandle&& other) noexcept {
    if (this != &other) {
      Close();
      m_token = std::exchange(other.m_token, 0);
    }
    return *this;
  }

  ~LibraryWideHandle() { Close(); }

  /** Closes the device when this hold is current; closing again does nothing. */
  void Close() noexcept {
    if (m_token != 0) {
      const auto lock = Owner::Lock();
      CloseLocked();
    }
  }

  /** Close() for a caller that holds Owner::Lock(). */
  void CloseLocked() noexcept {
    const uint64_t token = std::exchange(m_token, 0);
    if (Owner::IsCurrent(token)) {
      CloseDevice(token);
      Owner::Release(token);
    }
  }

  /** Whether this hold is the current one: not closed, moved from or taken over. */
  [[nodiscard]] bool IsCurrent() const {
    const auto lock = Owner::Lock();
    return Owner::IsCurrent(m_token);
  }

  /** Calls `use()` under Owner::Lock() when this hold is current; returns whether it was. */
  template <typename Use>
  bool IfCurrent(Use&& use) const {
    const auto lock = Owner::Lock();
    if (!Owner::IsCurrent(m_token)) {
      return false;
    }
    use();
    return true;
  }

  /** This hold's token; 0 once closed or moved from. */
  [[nodiscard]] uint64_t Token() const { return m_token; }

 private:
  explicit LibraryWideHandle(uint64_t token) : m_token(token) {}

  uint64_t m_token = 0;
};

}  // namespace halvern::detail
