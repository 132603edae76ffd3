// A mock driver station for a simulated robot program on the same host: the C face of
// HalvernDriver.
//
// Once created, it sends a driver-station control datagram to 127.0.0.1 port 1110 every 20 ms,
// as a driver station does, telling the robot program whether it is enabled (in autonomous).
// The first 50 datagrams sent while enabled (one second) still say "disabled", so the robot
// program sees a disabled period before its first enable.
#pragma once

#include "halvern/Export.h"

/** The datagrams' port, period and warm-up, shared by every face of the library. */
enum MockDSConstant : int {
  MOCKDS_ROBOT_PORT = 1110,     // UDP port of 127.0.0.1 the datagrams go to
  MOCKDS_PERIOD_MS = 20,        // time between two datagrams
  MOCKDS_WARMUP_DATAGRAMS = 50,  // datagrams sent while enabled that still say "disabled"
};

extern "C" {

/**
 * Starts sending, disabled. A second create replaces the first instance with a fresh one
 * (sequence number and warm-up start again). If no sending thread can be started it prints
 * one line saying so and nothing is sent.
 */
HALVERN_API void c_MockDS_create();

/** Asks the robot to be enabled; does nothing before create. */
HALVERN_API void c_MockDS_enable();

/** Asks the robot to be disabled; does nothing before create. */
HALVERN_API void c_MockDS_disable();

/**
 * Disables the robot, as c_MockDS_disable does; datagrams keep going out (disabled) until the
 * next create or until the library is unloaded.
 */
HALVERN_API void c_MockDS_destroy();

}  // extern "C"
