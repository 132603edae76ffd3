// The serial lidar's C face: every function acts on the library's one lidar.
#include "core/LibraryState.h"
#include "halvern/Lidar.h"

namespace {

halvern::lidar::LidarModule& lidar() { return halvern::libraryState().lidar; }

}  // namespace

extern "C" {

void c_Lidar_create(int port) { lidar().create(port); }

void c_Lidar_destroy() {
  // Nothing to do: the reader lives until the library is unloaded or create runs again.
}

void c_Lidar_start() { lidar().start(); }

void c_Lidar_stop() { lidar().stop(); }

LidarScan c_Lidar_getData() { return lidar().getData(); }

LidarTimedScan* c_Lidar_getTimedData(LidarTimedScan* out) {
  if (out != nullptr) {
    lidar().getTimedData(*out);
  }
  return out;
}

bool c_Lidar_isConnected() { return lidar().connected(); }

void c_Lidar_enableFilter(int type, bool enable) { lidar().enableFilter(type, enable); }

void c_Lidar_clusterConfig(float tolerance, int minPoints) {
  lidar().clusterConfig(tolerance, minPoints);
}

void c_Lidar_kalmanConfig(float processNoise, float measurementNoise, float errorCovariance) {
  lidar().kalmanConfig(processNoise, measurementNoise, errorCovariance);
}

void c_Lidar_movingAverageConfig(int window) { lidar().movingAverageConfig(window); }

void c_Lidar_medianConfig(int window) { lidar().medianConfig(window); }

void c_Lidar_jitterConfig(float threshold) { lidar().jitterConfig(threshold); }

}  // extern "C"
