// Feeds arbitrary bytes to the colour sensor's line assembly and line parsing, checking what
// every completed line must satisfy.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzChecks.h"
#include "iridel/IridelProtocol.h"

namespace {

using halvern::fuzz::require;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace halvern::iridel;
  LineAssembler assembler;
  assembler.feed(data, size, [](std::string_view line) {
    require(line.size() <= LineAssembler::kMaxLineLength);
    require(line.find('\r') == std::string_view::npos);
    require(line.find('\n') == std::string_view::npos);
    require(line.empty() || (!isBlank(line.front()) && !isBlank(line.back())));
    const auto components = parseColorLine(line);
    // Only the two documented forms can yield a sample.
    require(!components || line.starts_with("XYZ:") || line.starts_with("DIST:"));
  });
  // The same bytes split at an arbitrary point assemble the same way.
  const size_t half = size / 2;
  LineAssembler first;
  LineAssembler split;
  size_t whole = 0;
  size_t parts = 0;
  first.feed(data, size, [&](std::string_view) { ++whole; });
  split.feed(data, half, [&](std::string_view) { ++parts; });
  split.feed(data + half, size - half, [&](std::string_view) { ++parts; });
  require(whole == parts);
  return 0;
}
