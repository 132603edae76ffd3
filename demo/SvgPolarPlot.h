// A lidar revolution drawn as a picture: an SVG polar plot seen from above.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "halvern/LidarMini.h"

namespace halvern::demo {

/** A point to draw: its angle in degrees and its distance in metres (below 0: none). */
struct PolarPoint {
  double angleDegrees = 0;
  double metres = -1;
};

/** Points drawn as dots of one colour, named in the legend when the label is not empty. */
struct PolarSeries {
  std::string label;
  std::string colour;  // an SVG colour, "#1f5fbf"
  double dotRadius = 1.8;
  std::vector<PolarPoint> points;
};

/**
 * Writes the series as dots around the lidar at the centre, 0 degrees straight up and angles
 * growing clockwise, with rings every metre (half metre for a small room) labelled in metres.
 * Later series are drawn over earlier ones; points without a distance are left out. Returns
 * false when the file cannot be written.
 */
bool writePolarPlot(const std::filesystem::path& file, std::span<const PolarSeries> series,
                    const std::string& title);

/** One revolution of the USB lidar as a single unlabelled series. */
bool writePolarPlot(const std::filesystem::path& file, std::span<const LidarMiniScanPoint> points,
                    const std::string& title);

}  // namespace halvern::demo
