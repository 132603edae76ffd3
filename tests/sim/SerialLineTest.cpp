// The serial line every simulated USB device writes on, with the library's end of its
// pseudo-terminal opened here as the library would open it.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "WaitFor.h"
#include "serial/CommandLineReader.h"
#include "serial/SerialLine.h"

namespace {

using halvern::sim::CommandLineReader;
using halvern::sim::SerialLine;
using halvern::test::waitFor;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// The library's end of the line.
class LibraryEnd {
 public:
  explicit LibraryEnd(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  LibraryEnd(const LibraryEnd&) = delete;
  LibraryEnd& operator=(const LibraryEnd&) = delete;
  ~LibraryEnd() { ::close(fd_); }

  [[nodiscard]] bool open() const { return fd_ >= 0; }
  void write(std::string_view text) const {
    ASSERT_EQ(::write(fd_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  /** Reads until `count` bytes have come or the limit passes. */
  Bytes read(std::size_t count, std::chrono::milliseconds limit = 5s) const {
    Bytes bytes;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, 10) <= 0 || (ready.revents & POLLIN) == 0) {
        continue;
      }
      std::array<uint8_t, 4096> chunk{};
      const ssize_t got = ::read(fd_, chunk.data(), std::min(chunk.size(), count - bytes.size()));
      if (got > 0) {
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
      }
    }
    return bytes;
  }

 private:
  int fd_;
};

Bytes bytesOf(std::size_t count, uint8_t first = 0) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<uint8_t>(first + i);
  }
  return bytes;
}

TEST(SerialLine, CarriesSegmentsInOrderAndHandsOnWhatTheLibraryWrites) {
  std::mutex mutex;
  std::string received;
  std::atomic<int> sent{0};
  SerialLine line({.received =
                       [&](SerialLine& /*line*/, std::span<const uint8_t> bytes) {
                         const std::lock_guard lock(mutex);
                         received.append(bytes.begin(), bytes.end());
                       },
                   .turn = nullptr});
  const LibraryEnd library(line.devicePath());
  ASSERT_TRUE(library.open());

  line.queue(std::string_view("hello "));
  line.queue({.bytes = {'w', 'o'}, .pauseBefore = 20ms, .whenSent = [&] { ++sent; }});
  line.queue({.bytes = {'r', 'l', 'd'}, .whenSent = [&] { ++sent; }});
  const Bytes got = library.read(11);
  EXPECT_EQ(std::string(got.begin(), got.end()), "hello world");
  EXPECT_TRUE(waitFor([&] { return line.allSentWasRead(); }));
  EXPECT_EQ(sent.load(), 2);

  library.write("GETCONFIG\r\n");
  EXPECT_TRUE(waitFor([&] {
    const std::lock_guard lock(mutex);
    return received == "GETCONFIG\r\n";
  }));
}

TEST(SerialLine, KeepsItsRateAndDropsOnlyWhatHasNotBegun) {
  constexpr int kBytesPerSecond = 10000;
  SerialLine line({}, kBytesPerSecond);
  const LibraryEnd library(line.devicePath());
  ASSERT_TRUE(library.open());

  // A thousand bytes take a tenth of a second on the line, however fast the machine.
  const auto queuedAt = std::chrono::steady_clock::now();
  line.queue(bytesOf(1000));
  EXPECT_EQ(library.read(1000).size(), 1000U);
  EXPECT_GE(std::chrono::steady_clock::now() - queuedAt, 95ms);

  // Of three droppable segments, the one on the line is finished; the rest go, and what is
  // not droppable stays.
  line.queue({.bytes = bytesOf(2000, 1), .droppable = true});
  EXPECT_TRUE(waitFor([&] { return line.queuedBytes() < 2000; }));
  line.queue({.bytes = bytesOf(500), .droppable = true});
  line.queue(std::string_view("kept"));
  line.dropQueued();
  const Bytes got = library.read(2004);
  ASSERT_EQ(got.size(), 2004U);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 2000), bytesOf(2000, 1));
  EXPECT_EQ(std::string(got.begin() + 2000, got.end()), "kept");
}

TEST(SerialLine, HoldsBackWhileTheLibraryDoesNotReadAndStillStopsAtOnce) {
  std::atomic<int> turnsWithoutRoom{0};
  auto line = std::make_unique<SerialLine>(SerialLine::Device{
      .received = nullptr, .turn = [&](SerialLine& /*line*/, auto, bool room) { turnsWithoutRoom += room ? 0 : 1; }});
  const LibraryEnd library(line->devicePath());
  ASSERT_TRUE(library.open());

  // Far more than the terminal holds: the line stops once the library leaves enough unread.
  line->queue(bytesOf(100000));
  EXPECT_TRUE(waitFor([&] { return turnsWithoutRoom.load() > 0; }, 10s));
  EXPECT_GT(line->queuedBytes(), 50000U);
  EXPECT_FALSE(line->allSentWasRead());
  line.reset();  // would hang if the thread were blocked in a write
}

TEST(SerialLine, AnUnpluggedLineHangsUpAndSendsNothingMore) {
  SerialLine line({});
  const LibraryEnd library(line.devicePath());
  ASSERT_TRUE(library.open());
  line.unplug();
  EXPECT_TRUE(line.unplugged());
  line.queue(std::string_view("after"));
  EXPECT_TRUE(library.read(5, 100ms).empty());
  EXPECT_FALSE(line.allSentWasRead());
}

TEST(CommandLineReader, EachSensorsLineEndAndLimit) {
  std::vector<std::string> lines;
  const auto keep = [&](const std::string& line) { lines.push_back(line); };
  const auto feed = [](CommandLineReader& reader, std::string_view text, auto& onLine) {
    reader.feed(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), onLine);
  };

  CommandLineReader crLf(CommandLineReader::LineEnd::CrLf, 8);
  // The overlong line's first eight bytes and the ninth go; what follows starts afresh.
  feed(crLf, "ODR,30\r\nA\nB\r\n0123456789\r\nOK\r\n", keep);
  EXPECT_EQ(lines, (std::vector<std::string>{"ODR,30", "A\nB", "9", "OK"}));

  lines.clear();
  CommandLineReader lf(CommandLineReader::LineEnd::Lf);
  feed(lf, "SAMPLETIME,20\r\nX\n\r\n", keep);
  EXPECT_EQ(lines, (std::vector<std::string>{"SAMPLETIME,20", "X", ""}));
}

}  // namespace
