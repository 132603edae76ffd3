// A lidar revolution drawn as a picture: an SVG polar plot seen from above.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "halvern/LidarMini.h"

namespace halvern::demo {

/**
 * Writes the points as dots around the lidar at the centre, 0 degrees straight up and angles
 * growing clockwise, with rings every metre (half metre for a small room) labelled in metres.
 * Points without a distance (-1) are left out. Returns false when the file cannot be written.
 */
bool writePolarPlot(const std::filesystem::path& file, std::span<const LidarMiniScanPoint> points,
                    const std::string& title);

}  // namespace halvern::demo
