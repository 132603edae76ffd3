#include "SvgPolarPlot.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

namespace halvern::demo {
namespace {

constexpr double kWidth = 640;
constexpr double kHeight = 690;
constexpr double kCentreX = kWidth / 2;
constexpr double kCentreY = 380;
constexpr double kPlotRadius = 270;  // pixels to the outermost ring
constexpr double kLabelGap = 16;     // pixels beyond it to the angle labels
constexpr int kSpokeEveryDegrees = 30;
// Rings every metre, or every half metre when everything is within this distance.
constexpr double kSmallRoomMetres = 2.5;
// The legend, top left, clear of the plot.
constexpr double kLegendX = 24;
constexpr double kLegendY = 84;
constexpr double kLegendLineHeight = 20;
constexpr auto kSingleSeriesColour = "#1f5fbf";

std::string escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// 0 degrees up, clockwise, as seen from above with the lidar facing up.
double xAt(double degrees, double pixels) {
  return kCentreX + pixels * std::sin(degrees * std::numbers::pi / 180.0);
}
double yAt(double degrees, double pixels) {
  return kCentreY - pixels * std::cos(degrees * std::numbers::pi / 180.0);
}

// Metres as "2" or "1.5".
std::string metres(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

}  // namespace

bool writePolarPlot(const std::filesystem::path& file, std::span<const PolarSeries> series,
                    const std::string& title) {
  double farthest = 0.0;
  for (const PolarSeries& one : series) {
    for (const PolarPoint& point : one.points) {
      farthest = std::max(farthest, point.metres);
    }
  }
  const double ringStep = farthest <= kSmallRoomMetres ? 0.5 : 1.0;
  const int rings = std::max(1, static_cast<int>(std::ceil(farthest / ringStep)));
  const double pixelsPerMetre = kPlotRadius / (rings * ringStep);

  std::ofstream svg(file);
  svg.setf(std::ios::fixed);
  svg.precision(1);
  svg << R"(<svg xmlns="http://www.w3.org/2000/svg" width=")" << kWidth << R"(" height=")"
      << kHeight << R"(" font-family="sans-serif" font-size="13">)" << '\n'
      << R"(<rect width="100%" height="100%" fill="white"/>)" << '\n'
      << R"(<text x=")" << kCentreX << R"(" y="30" text-anchor="middle" font-size="17">)"
      << escaped(title) << "</text>\n"
      << R"(<text x=")" << kCentreX
      << R"(" y="52" text-anchor="middle" fill="#707070">rings every )" << metres(ringStep)
      << " m; 0° straight ahead, angles growing clockwise</text>\n";

  svg << R"(<g stroke="#d0d0d0" fill="none">)" << '\n';
  for (int degrees = 0; degrees < 360; degrees += kSpokeEveryDegrees) {
    svg << R"(<line x1=")" << kCentreX << R"(" y1=")" << kCentreY << R"(" x2=")"
        << xAt(degrees, kPlotRadius) << R"(" y2=")" << yAt(degrees, kPlotRadius) << R"("/>)"
        << '\n';
  }
  for (int ring = 1; ring <= rings; ++ring) {
    svg << R"(<circle cx=")" << kCentreX << R"(" cy=")" << kCentreY << R"(" r=")"
        << ring * ringStep * pixelsPerMetre << R"("/>)" << '\n';
  }
  svg << "</g>\n<g fill=\"#707070\">\n";
  for (int ring = 1; ring <= rings; ++ring) {
    const double radius = ring * ringStep * pixelsPerMetre;
    svg << R"(<text x=")" << xAt(15, radius) + 3 << R"(" y=")" << yAt(15, radius) - 3 << R"(">)"
        << metres(ring * ringStep) << " m</text>\n";
  }
  for (int degrees = 0; degrees < 360; degrees += 90) {
    svg << R"(<text x=")" << xAt(degrees, kPlotRadius + kLabelGap) << R"(" y=")"
        << yAt(degrees, kPlotRadius + kLabelGap) + 5 << R"(" text-anchor="middle">)" << degrees
        << "°</text>\n";
  }
  svg << "</g>\n";

  for (const PolarSeries& one : series) {
    svg << R"(<g fill=")" << one.colour << R"(">)" << '\n';
    for (const PolarPoint& point : one.points) {
      if (point.metres < 0) {
        continue;
      }
      const double pixels = point.metres * pixelsPerMetre;
      svg << R"(<circle cx=")" << xAt(point.angleDegrees, pixels) << R"(" cy=")"
          << yAt(point.angleDegrees, pixels) << R"(" r=")" << one.dotRadius << R"("/>)" << '\n';
    }
    svg << "</g>\n";
  }

  double legendY = kLegendY;
  for (const PolarSeries& one : series) {
    if (one.label.empty()) {
      continue;
    }
    svg << R"(<circle cx=")" << kLegendX << R"(" cy=")" << legendY - 4 << R"(" r="4" fill=")"
        << one.colour << R"("/>)" << '\n'
        << R"(<text x=")" << kLegendX + 10 << R"(" y=")" << legendY << R"(">)" << escaped(one.label)
        << "</text>\n";
    legendY += kLegendLineHeight;
  }

  // The lidar itself, pointing up along 0 degrees.
  svg << R"(<path d="M )" << kCentreX << ' ' << kCentreY - 9 << " L " << kCentreX + 7 << ' '
      << kCentreY + 6 << " L " << kCentreX - 7 << ' ' << kCentreY + 6 << R"( Z" fill="#d02020"/>)"
      << '\n'
      << R"(<text x=")" << kCentreX + 10 << R"(" y=")" << kCentreY + 18
      << R"(" fill="#d02020">lidar</text>)" << '\n'
      << "</svg>\n";
  return static_cast<bool>(svg);
}

bool writePolarPlot(const std::filesystem::path& file, std::span<const LidarMiniScanPoint> points,
                    const std::string& title) {
  PolarSeries revolution;
  revolution.colour = kSingleSeriesColour;
  for (const LidarMiniScanPoint& point : points) {
    revolution.points.push_back({.angleDegrees = point.angle, .metres = point.distance});
  }
  return writePolarPlot(file, std::span<const PolarSeries>(&revolution, 1), title);
}

}  // namespace halvern::demo
