// Feeds arbitrary bytes to the data log reader, checking that what it returns is consistent:
// every record names an entry it read, every value has its entry's type, and a fault is reported
// where the good records end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "FuzzChecks.h"
#include "replay/WpilogReader.h"

namespace {

using halvern::fuzz::require;
using namespace halvern::sim::replay;

constexpr std::string_view kMagic = "WPILOG";
constexpr std::size_t kHeaderBytes = 12;  // magic, version, extra header length

/** Where the records start, read here rather than by the reader; 0 when the header is bad. */
std::size_t recordsStart(std::span<const uint8_t> bytes) {
  if (bytes.size() < kHeaderBytes || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()) ||
      halvern::fuzz::le16(bytes, 6) != 0x0100) {
    return 0;
  }
  const std::size_t extra =
      bytes[8] | (bytes[9] << 8) | (std::size_t{bytes[10]} << 16) | (std::size_t{bytes[11]} << 24);
  return extra <= bytes.size() - kHeaderBytes ? kHeaderBytes + extra : 0;
}

/** Whether `value` holds what an entry of type `type` decodes to. */
bool valueFitsType(const WpilogValue& value, std::string_view type) {
  const auto holds = [&]<typename T>(std::type_identity<T>) {
    return std::holds_alternative<T>(value);
  };
  if (type == "boolean") return holds(std::type_identity<bool>{});
  if (type == "int64") return holds(std::type_identity<int64_t>{});
  if (type == "float") return holds(std::type_identity<float>{});
  if (type == "double") return holds(std::type_identity<double>{});
  if (type == "string" || type == "json") return holds(std::type_identity<std::string>{});
  if (type == "boolean[]") return holds(std::type_identity<std::vector<bool>>{});
  if (type == "int64[]") return holds(std::type_identity<std::vector<int64_t>>{});
  if (type == "float[]") return holds(std::type_identity<std::vector<float>>{});
  if (type == "double[]") return holds(std::type_identity<std::vector<double>>{});
  if (type == "string[]") return holds(std::type_identity<std::vector<std::string>>{});
  return holds(std::type_identity<WpilogRaw>{});
}

uint32_t idOf(const WpilogRecord& record) {
  return std::visit([](const auto& content) { return content.id; }, record.content);
}
std::size_t entryOf(const WpilogRecord& record) {
  return std::visit([](const auto& content) { return content.entry; }, record.content);
}

/** Whether two values are the same, NaNs included (which == would tell apart). */
bool sameValue(const WpilogValue& a, const WpilogValue& b) {
  if (a.index() != b.index()) {
    return false;
  }
  return std::visit(
      [&](const auto& first) {
        using Value = std::decay_t<decltype(first)>;
        const auto& second = std::get<Value>(b);
        if constexpr (std::is_floating_point_v<Value>) {
          return std::memcmp(&first, &second, sizeof(Value)) == 0;
        } else if constexpr (std::is_same_v<Value, std::vector<float>> ||
                             std::is_same_v<Value, std::vector<double>>) {
          return halvern::fuzz::sameBytes(first, second);
        } else {
          return first == second;
        }
      },
      a);
}

bool sameRecords(const std::vector<WpilogRecord>& a, const std::vector<WpilogRecord>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto* dataA = std::get_if<WpilogData>(&a[i].content);
    const auto* dataB = std::get_if<WpilogData>(&b[i].content);
    const bool same = dataA != nullptr && dataB != nullptr
                          ? a[i].timestamp == b[i].timestamp && dataA->id == dataB->id &&
                                dataA->entry == dataB->entry &&
                                sameValue(dataA->value, dataB->value)
                          : a[i] == b[i];
    if (!same) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes{data, size};
  const auto contents = readWpilog(bytes);
  const std::size_t start = recordsStart(bytes);
  require(start != 0 || contents.error);
  require(contents.records.empty() || start != 0);
  for (const auto& record : contents.records) {
    require(entryOf(record) < contents.entries.size());
    const WpilogEntry& entry = contents.entries[entryOf(record)];
    require(entry.id == idOf(record) && entry.id != 0);
    if (const auto* value = std::get_if<WpilogData>(&record.content)) {
      require(valueFitsType(value->value, entry.type));
    }
  }
  if (contents.error) {
    require(contents.error->offset <= size);
    // A fault among the records is where the good ones end: the file cut there reads whole.
    if (start != 0 && contents.error->offset >= start) {
      const auto before = readWpilog(bytes.first(contents.error->offset));
      require(!before.error);
      require(sameRecords(before.records, contents.records));
    }
  }
  return 0;
}
