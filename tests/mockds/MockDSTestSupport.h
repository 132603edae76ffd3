// What the mock driver station's tests share: the robot program's side on UDP port 1110, the
// datagrams of the freshest instance, and (on Linux) the process's threads and descriptors.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <filesystem>
#endif

#include "ProcessEntries.h"
#include "SimRobotDriverStation.h"

namespace halvern::mockds::testing {

using namespace std::chrono_literals;

using Robot = halvern::sim::SimRobotDriverStation;
using Received = Robot::Received;
using Clock = Robot::Clock;

inline constexpr uint8_t kDisabled = 0x00;
inline constexpr uint8_t kEnabledAutonomous = 0x06;
inline constexpr std::size_t kWarmupDatagrams = 50;

/**
 * The robot program's side on 127.0.0.1:1110. Binding is retried for a while: another program
 * (a Java test, another build's tests) may hold the port for a moment. Null, with a failure
 * recorded, if the port stays taken.
 */
inline std::unique_ptr<Robot> listenAsRobot() {
  const auto giveUp = Clock::now() + 10s;
  for (;;) {
    try {
      return std::make_unique<Robot>();
    } catch (const std::runtime_error& error) {
      if (Clock::now() > giveUp) {
        ADD_FAILURE() << error.what();
        return nullptr;
      }
      std::this_thread::sleep_for(50ms);
    }
  }
}

/** Polls `condition` every 2 ms until it holds (true) or `limit` passes (false). */
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto giveUp = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > giveUp) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

/**
 * The datagrams of the instance created last, from what arrived since just before its create:
 * those of the instance it replaced come first (until the fresh one's sequence 0), and a few of
 * them may arrive among the fresh one's first while both send. The replaced instance must be at
 * least kOldSequence datagrams old, which the tests ensure by waiting before they create.
 */
inline std::vector<Received> freshStream(const std::vector<Received>& received) {
  constexpr uint16_t kOldSequence = 8;  // the replaced instance's numbers are at least this
  constexpr std::size_t kOverlap = 4;   // it is joined within the fresh one's first datagrams
  std::vector<Received> fresh;
  bool started = false;
  for (const Received& datagram : received) {
    const uint16_t sequence = datagram.control.sequence;
    if (!started) {
      if (sequence != 0) {
        continue;  // the replaced instance's
      }
      started = true;
    }
    if (fresh.size() < kOverlap && sequence >= kOldSequence) {
      continue;  // the replaced instance's last ones, sent while it was being stopped
    }
    fresh.push_back(datagram);
  }
  return fresh;
}

/** Whether the sequence numbers go up by exactly one from each datagram to the next. */
inline ::testing::AssertionResult consecutive(const std::vector<Received>& stream) {
  for (std::size_t i = 1; i < stream.size(); ++i) {
    const auto expected = static_cast<uint16_t>(stream[i - 1].control.sequence + 1U);
    if (stream[i].control.sequence != expected) {
      return ::testing::AssertionFailure()
             << "datagram " << i << " has sequence " << stream[i].control.sequence << " after "
             << stream[i - 1].control.sequence;
    }
  }
  return ::testing::AssertionSuccess();
}

/** The control byte of each datagram, run-length coded: {control, how many in a row}. */
inline std::vector<std::pair<uint8_t, std::size_t>> controlRuns(
    const std::vector<Received>& stream) {
  std::vector<std::pair<uint8_t, std::size_t>> runs;
  for (const Received& datagram : stream) {
    if (runs.empty() || runs.back().first != datagram.control.control) {
      runs.emplace_back(datagram.control.control, 0);
    }
    ++runs.back().second;
  }
  return runs;
}

inline std::chrono::milliseconds millisecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from);
}

#if defined(__linux__)
using halvern::testing::baselineDescriptorCount;
using halvern::testing::descriptorCount;
using halvern::testing::descriptorCountSettledAt;
using halvern::testing::threadCount;
using halvern::testing::threadCountSettledAt;
#endif

}  // namespace halvern::mockds::testing
