// The lidar's C face: a pointer is the address of the device object. A null pointer (what a
// failed create returns) never reaches the device: such calls do nothing and answer all-zero
// records or an empty revolution.
#include <memory>

#include "halvern/LidarMini.h"
#include "lidarmini/LidarMiniDevice.h"

namespace {

using halvern::lidarmini::LidarMiniDevice;

LidarMiniDevice* device(void* lidar) { return static_cast<LidarMiniDevice*>(lidar); }

}  // namespace

extern "C" {

void* c_LidarMini_create(int port) { return LidarMiniDevice::create(port).release(); }

void c_LidarMini_destroy(void* lidar) {
  // The caller hands ownership back: the pointer came from create's release().
  const std::unique_ptr<LidarMiniDevice> owned(device(lidar));
}

void c_LidarMini_start(void* lidar) {
  if (lidar != nullptr) {
    device(lidar)->start();
  }
}

void c_LidarMini_stop(void* lidar) {
  if (lidar != nullptr) {
    device(lidar)->stop();
  }
}

void c_LidarMini_increaseFrequency(void* lidar, bool big) {
  if (lidar != nullptr) {
    device(lidar)->increaseFrequency(big);
  }
}

void c_LidarMini_decreaseFrequency(void* lidar, bool big) {
  if (lidar != nullptr) {
    device(lidar)->decreaseFrequency(big);
  }
}

LidarInfo c_LidarMini_getInfo(void* lidar) {
  return lidar != nullptr ? device(lidar)->getInfo() : LidarInfo{};
}

LidarHealth c_LidarMini_getHealth(void* lidar) {
  return lidar != nullptr ? device(lidar)->getHealth() : LidarHealth{};
}

LidarMiniScanFrame c_LidarMini_getData(void* lidar) {
  return lidar != nullptr ? device(lidar)->getData() : LidarMiniScanFrame{};
}

int32_t c_LidarMini_copyData(void* lidar, float* angles, float* distances, float* intensities,
                             int32_t capacity, int64_t* timestamp) {
  if (lidar == nullptr) {
    if (timestamp != nullptr) {
      *timestamp = 0;
    }
    return 0;
  }
  return device(lidar)->copyData(angles, distances, intensities, capacity, timestamp);
}

int32_t c_LidarMini_copyDataTimed(void* lidar, float* angles, float* distances, float* intensities,
                                  int32_t capacity, int64_t* timestamp, LidarMiniScanTimes* times) {
  halvern::lidarmini::PacketTimes packetTimes{};
  int64_t revolutionStamp = 0;
  const int32_t count = lidar != nullptr
                            ? device(lidar)->copyData(angles, distances, intensities, capacity,
                                                      &revolutionStamp, &packetTimes)
                            : 0;
  if (timestamp != nullptr) {
    *timestamp = revolutionStamp;
  }
  if (times != nullptr) {
    *times = LidarMiniScanTimes{.firstPacketUs = packetTimes.firstUs,
                                .lastPacketUs = packetTimes.lastUs};
  }
  return count;
}

bool c_LidarMini_isConnected(void* lidar) { return lidar != nullptr && device(lidar)->connected(); }

}  // extern "C"
