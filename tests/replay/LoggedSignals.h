// A small, fixed set of signals as the library logs them (its entry names, types and metadata),
// and their values with explicit timestamps: written by the stand-in's data log into
// tests/replay/data/standin.wpilog, byte for byte the same on every run, and through the library
// on WPILib's own data log, and read back by WPILib's own reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace halvern::test::logged {

/** The header text the file carries after WPILib's own. */
inline constexpr std::string_view kExtraHeader = "HalvernDriver test log";

struct Signal {
  std::string_view device;
  std::string_view signal;
  std::string_view type;  // WPILib's type string
  std::string_view unit;  // "" for none
  std::string_view metadata;

  [[nodiscard]] std::string entryName() const {
    return "Halvern/" + std::string{device} + '/' + std::string{signal};
  }
};

/** The signals, each started at its first value, in this order. */
inline const std::vector<Signal> kSignals{
    {"Ordex[5]", "Connected", "boolean", "", R"({"source":"HalvernDriver"})"},
    {"Ordex[5]", "Motor 0/Encoder", "int64", "counts",
     R"({"source":"HalvernDriver","unit":"counts"})"},
    {"Ordex[5]", "Motor 0/RPM", "double", "rpm", R"({"source":"HalvernDriver","unit":"rpm"})"},
    {"Ordex[5]", "Firmware Version", "string", "", R"({"source":"HalvernDriver"})"},
    {"LidarMini[ttyUSB0]", "Revolution/Angles", "double[]", "deg",
     R"({"source":"HalvernDriver","unit":"deg"})"},
    {"LidarMini[ttyUSB0]", "Revolution/Intensities", "int64[]", "",
     R"({"source":"HalvernDriver"})"},
    {"Lidar[ttyUSB1]", "Revolution/Valid", "boolean[]", "", R"({"source":"HalvernDriver"})"},
};

using Value = std::variant<bool, int64_t, double, std::string, std::vector<bool>,
                           std::vector<int64_t>, std::vector<double>>;

struct Sample {
  std::size_t signal;  // its place in kSignals
  int64_t timestamp;   // microseconds on the robot's clock
  Value value;
  bool operator==(const Sample&) const = default;
};

/**
 * The values in the order they are appended. Timestamps and integers beyond 32 bits, negative
 * values and empty arrays take the format's wider and shorter fields.
 */
inline const std::vector<Sample> kSamples{
    {0, 1'000, true},
    {1, 1'000, int64_t{-42}},
    {2, 1'000, 1234.5},
    {3, 1'500, std::string{"1.4.2"}},
    {1, 21'000, int64_t{1} << 40},
    {2, 21'000, -0.125},
    {4, 22'000, std::vector<double>{0.0, 89.75, 359.5}},
    {5, 22'000, std::vector<int64_t>{255, 0, -1}},
    {6, 22'500, std::vector<bool>{true, false, true}},
    {6, 23'000, std::vector<bool>{}},
    {0, 5'000'000'000, false},
    {2, 5'000'000'000, 1e300},
};

/** When the stand-in's file finishes every entry, after its last value. */
inline constexpr int64_t kFinishedAt = 5'000'000'001;

}  // namespace halvern::test::logged
