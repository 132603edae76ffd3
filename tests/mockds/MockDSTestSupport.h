// What the mock driver station's tests share: the robot program's side on UDP port 1110, the
// datagrams of the freshest instance, and (on Linux) the process's threads and descriptors.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <filesystem>
#endif

#include "ProcessEntries.h"
#include "SimHal.h"
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
 * its own count 0, 1, 2 and so on. Those of the instance it replaced come before its 0 and may
 * arrive among its first ones while both send (however long the create took to join that one);
 * they continue their own count, which is ahead of the fresh one's, and are left out. The
 * replaced instance must be at least a few datagrams old, which the tests ensure.
 */
inline std::vector<Received> freshStream(const std::vector<Received>& received) {
  std::vector<Received> fresh;
  for (const Received& datagram : received) {
    if (datagram.control.sequence == fresh.size()) {
      fresh.push_back(datagram);
    }
  }
  return fresh;
}

inline constexpr std::chrono::milliseconds kPeriod{20};

/**
 * The most datagrams an instance created after `start` can have picked its control byte for by
 * `by`, however the machine scheduled it: datagram k waits for its slot, (k + 1) periods after
 * the instance started at the earliest. An enable or disable called before `by` therefore shows
 * in a datagram whose sequence number is at most this.
 */
inline std::size_t mostPickedBy(Clock::time_point start, Clock::time_point by) {
  return by <= start ? 0U : static_cast<std::size_t>((by - start) / kPeriod);
}

/**
 * Sends the robot program's side a datagram too short to be kept, and waits until it has read it
 * (it counts it as ignored): every datagram sent to the port before it has been read by then.
 * `markersSent`, when given, is how many were sent.
 */
inline bool passMarker(const Robot& robot, std::size_t* markersSent = nullptr) {
  halvern::sim::simhal::Logger logger;
  halvern::sim::simhal::UDPClient marker(logger);
  if (marker.start() != 0) {
    ADD_FAILURE() << "no socket for the marker datagram";
    return false;
  }
  const std::size_t ignored = robot.ignoredCount();
  const std::array<uint8_t, 1> datagram{0};
  // A datagram may be lost or go unsent (a lone marker once went unread under Wine): the marker
  // goes again every 250 ms until one is read. Any marker read marks the same point: what the robot
  // reads after it was sent after the call began.
  const auto start = Clock::now();
  auto nextSend = start;
  while (robot.ignoredCount() <= ignored) {
    const auto now = Clock::now();
    if (now > start + 10s) {
      ADD_FAILURE() << "the marker datagram was not read";
      marker.shutdown();
      return false;
    }
    if (now >= nextSend) {
      marker.send(std::span<const uint8_t>(datagram), "127.0.0.1", Robot::kDriverStationPort);
      nextSend = now + 250ms;
      if (markersSent != nullptr) {
        ++*markersSent;
      }
    }
    std::this_thread::sleep_for(1ms);
  }
  marker.shutdown();
  return true;
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
