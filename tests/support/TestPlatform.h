// What the tests need of the platform under them, on WPILib's HAL and on the stand-in alike.
//
// The simulated robot is reset and enabled through WPILib's simulation API and the simulated
// bus. The stand-in's own controls (injected faults, handle counts) exist only on the stand-in:
// a test that needs them starts with HALVERN_NEEDS_STANDIN(), which skips it elsewhere, and
// then calls them here.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include <gtest/gtest.h>

namespace halvern::test {

/** True when the HAL is the stand-in, with its faults and counts. */
bool hasStandinControls();

/** A fresh simulated robot: disabled, no frames either way, no faults, no serial bytes waiting. */
void resetSimulation();

/** The driver station's enabled state, as HAL_GetSystemActive reports it. */
void setRobotEnabled(bool enabled);

/** WPILib's HAL only: loads a simulation extension as HALSIM_EXTENSIONS would; 0 on success. */
int loadHalExtension(const char* library);

// The stand-in's own controls. Each fails the test where there is no stand-in; call them only
// after HALVERN_NEEDS_STANDIN().

int openCanHandleCount();
bool i2cPortOpen(int32_t port);
void setInitializeCanStatus(int32_t status);
void setSendStatus(int32_t status);
void setStreamOpenStatus(int32_t status);
void setI2CInitializeStatus(int32_t status);
void setI2CWriteFault(int32_t port, std::function<bool(std::span<const uint8_t>)> fails);
void setI2CReadFault(int32_t port, bool fails);
void setI2CAbsent(int32_t port, bool absent);
/** While set, a UDP client's start fails, as when its socket cannot be made. */
void setUdpStartFailure(bool fail);

}  // namespace halvern::test

/** Skips the test unless the HAL is the stand-in, whose own controls the test needs. */
#define HALVERN_NEEDS_STANDIN()                                     \
  do {                                                              \
    if (!::halvern::test::hasStandinControls()) {                   \
      GTEST_SKIP() << "needs the stand-in HAL's faults or counts";  \
    }                                                               \
  } while (false)
