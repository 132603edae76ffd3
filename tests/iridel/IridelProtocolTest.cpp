// The colour sensor's wire formats, without a bus or a port.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "iridel/IridelProtocol.h"

namespace {

using namespace halvern::iridel;  // NOLINT(google-build-using-namespace)

CommandPayload payloadOf(std::vector<uint8_t> bytes) {
  CommandPayload payload;
  std::copy(bytes.begin(), bytes.end(), payload.bytes.begin());
  payload.length = static_cast<uint8_t>(bytes.size());
  return payload;
}

// Every line the assembler completes for a byte stream.
std::vector<std::string> linesOf(const std::string& stream) {
  LineAssembler assembler;
  std::vector<std::string> lines;
  assembler.feed(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(),
                 [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

TEST(IridelCommands, PayloadsAndClamps) {
  EXPECT_EQ(measureModePayload(0, 9.0F), payloadOf({0x00}));
  EXPECT_EQ(measureModePayload(1, 9.0F), payloadOf({0x01, 0x00}));
  EXPECT_EQ(measureModePayload(2, 1.5F), payloadOf({0x02, 0x00, 0x00, 0x00, 0xC0, 0x3F}));
  EXPECT_FALSE(measureModePayload(3, 1.5F));
  EXPECT_FALSE(measureModePayload(-1, 1.5F));

  EXPECT_EQ(colorFormatPayload(4), payloadOf({4}));
  EXPECT_FALSE(colorFormatPayload(5));
  EXPECT_EQ(sampleTimePayload(70000), payloadOf({0xFF, 0xFF}));
  EXPECT_EQ(sampleTimePayload(-5), payloadOf({0, 0}));
  EXPECT_EQ(sampleTimePayload(300), payloadOf({0x2C, 0x01}));
  EXPECT_EQ(brightnessPayload(150), payloadOf({100}));
  EXPECT_EQ(brightnessPayload(-3), payloadOf({0}));
  EXPECT_EQ(statusLedPayload(true, 250), payloadOf({1, 100}));
  EXPECT_EQ(statusLedPayload(false, 7), payloadOf({0, 7}));
  EXPECT_EQ(canIdPayload(-2), payloadOf({0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(zmmPayload(1.5F), payloadOf({0x00, 0x00, 0xC0, 0x3F}));
  EXPECT_EQ(getConfigPayload(0x1234), payloadOf({0x34}));
  EXPECT_EQ(usbOverridePayload(true), payloadOf({1}));
  EXPECT_EQ(commandId(Command::GetConfig), 0x0409051AU);
}

TEST(IridelCommands, RepliesMatchOnlyTheirCommand) {
  const std::vector<uint8_t> reply{26, 0, 0x00, 0x28, 0x6B, 0xEE};  // 4000000000
  const auto matched = matchReply(kReplyId, reply.data(), 6, 26);
  ASSERT_TRUE(matched);
  EXPECT_EQ(matched->status, 0);
  EXPECT_EQ(matched->value, 4000000000U);
  EXPECT_FALSE(matchReply(kReplyId, reply.data(), 6, 25));               // another command's reply
  EXPECT_FALSE(matchReply(kReplyId, reply.data(), 5, 26));               // too short
  EXPECT_FALSE(matchReply(kColorFrameId, reply.data(), 6, 26));          // not a reply
  EXPECT_TRUE(matchReply(kReplyId | 0xE0000000U, reply.data(), 6, 26));  // 29 bits count
}

TEST(IridelCommands, ColorFrameDecoding) {
  const std::vector<uint8_t> frame{0x34, 0x12, 0xF0, 0xD8, 0x00, 0x00, 0x10, 0x27};
  const ColorData color = decodeColorFrame(frame.data(), 8);
  EXPECT_TRUE(color.valid);
  EXPECT_EQ(color.sequence, 0x1234);
  EXPECT_FLOAT_EQ(color.x, -1.0F);
  EXPECT_FLOAT_EQ(color.y, 0.0F);
  EXPECT_FLOAT_EQ(color.z, 1.0F);
  const ColorData shortFrame = decodeColorFrame(frame.data(), 7);
  EXPECT_FALSE(shortFrame.valid);
  EXPECT_EQ(shortFrame.sequence, 0);
}

TEST(IridelLines, TrimAndSplit) {
  EXPECT_EQ(trim(" \t x y \r\n"), "x y");
  EXPECT_EQ(trim(" \t\r\n"), "");
  EXPECT_EQ(splitFields(""), (std::vector<std::string_view>{""}));
  EXPECT_EQ(splitFields(" a , b,,c "), (std::vector<std::string_view>{"a", "b", "", "c"}));
  EXPECT_EQ(colorFormatName(2), "SRGB");
  EXPECT_EQ(colorFormatLine("SRGB"), "COLORFORMAT,SRGB");
  EXPECT_EQ(sampleTimeLine(clampSampleTimeMs(70000)), "SAMPLETIME,65535");
}

TEST(IridelLines, ColorLines) {
  using Components = std::array<float, 3>;
  EXPECT_EQ(parseColorLine("XYZ: 0.25 , 0.5 ,\t0.75"), (Components{0.25F, 0.5F, 0.75F}));
  EXPECT_EQ(parseColorLine("XYZ:1,2,3,4"), (Components{1, 2, 3}));
  EXPECT_EQ(parseColorLine("XYZ:abc,2.5cm,+1"), (Components{0, 2.5F, 1}));
  EXPECT_EQ(parseColorLine("DIST: 123.4  XYZ: 1, 2, 3"), (Components{1, 2, 3}));
  EXPECT_FALSE(parseColorLine("DIST: 123.4 XYZ: 1, 2, 3"));  // one space: ignored
  EXPECT_FALSE(parseColorLine("XYZ: 1, 2"));
  EXPECT_FALSE(parseColorLine("xyz: 1, 2, 3"));
  EXPECT_FALSE(parseColorLine("RGB: 1, 2, 3"));
  EXPECT_FALSE(parseColorLine(""));
}

TEST(IridelLines, AssemblyDropsCrAndOverlongLines) {
  EXPECT_EQ(linesOf("XYZ:1,\r2,3\r\nnext\n"), (std::vector<std::string>{"XYZ:1,2,3", "next"}));
  EXPECT_TRUE(linesOf("ended by CR alone\r").empty());
  EXPECT_EQ(linesOf("  \n"), (std::vector<std::string>{""}));

  // 600 bytes without a line feed: dropped at the 513th; the rest starts a new line.
  const std::string overlong = std::string(512, 'a') + "b" + std::string(87, 'c') + "\n";
  EXPECT_EQ(linesOf(overlong), (std::vector<std::string>{std::string(87, 'c')}));
  // Exactly 512 bytes still make a line.
  EXPECT_EQ(linesOf(std::string(512, 'a') + "\n"),
            (std::vector<std::string>{std::string(512, 'a')}));
}

}  // namespace

namespace {

TEST(IridelConnection, TheSilenceLimitFollowsTheSampleTime) {
  using halvern::iridel::connectionSilence;
  using std::chrono::milliseconds;
  EXPECT_EQ(connectionSilence(std::nullopt), milliseconds(250));  // not known
  EXPECT_EQ(connectionSilence(50), milliseconds(200));            // four sample times
  EXPECT_EQ(connectionSilence(10), milliseconds(100));            // at least 100 ms
  EXPECT_EQ(connectionSilence(0), milliseconds(100));
  EXPECT_EQ(connectionSilence(100), milliseconds(250));  // at most 250 ms
  EXPECT_EQ(connectionSilence(70000), milliseconds(250));
}

// The sensor's side of each CAN frame against the library's: what one writes the other reads.
TEST(IridelRoundTrip, ColorFramesReadBackScaledAndHeldToTheirRange) {
  const auto frame = colorFramePayload(65535, 0.3127F, -1.5F, 9.0F);
  const ColorData color = decodeColorFrame(frame.data(), static_cast<uint8_t>(frame.size()));
  EXPECT_TRUE(color.valid);
  EXPECT_EQ(color.sequence, 65535);
  EXPECT_FLOAT_EQ(color.x, 0.3127F);
  EXPECT_FLOAT_EQ(color.y, -1.5F);
  EXPECT_FLOAT_EQ(color.z, 3.2767F);  // the largest a frame can carry
}

TEST(IridelRoundTrip, RepliesMatchTheCommandTheyName) {
  const auto getConfig = static_cast<uint8_t>(Command::GetConfig);
  const auto frame = replyPayload(getConfig, {.status = 2, .value = 0xA1B2C3D4});
  const auto reply = matchReply(kReplyId, frame.data(), 8, getConfig);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->status, 2);
  EXPECT_EQ(reply->value, 0xA1B2C3D4U);
  EXPECT_FALSE(matchReply(kReplyId, frame.data(), 8, static_cast<uint8_t>(Command::Zmm)));
}

TEST(IridelRoundTrip, CommandIdentifiersReadBackTheirCode) {
  for (const Command command :
       {Command::MeasureMode, Command::SampleTime, Command::CanId, Command::GetConfig}) {
    const uint32_t id = commandId(command);
    EXPECT_EQ(commandCode(id), static_cast<uint8_t>(command));
    EXPECT_TRUE(isCommand(commandCode(id)));
    EXPECT_EQ(id & kCommandMask, kCommandIdBase);
  }
  EXPECT_FALSE(isCommand(17));
  EXPECT_FALSE(isCommand(27));
  EXPECT_TRUE(isSensorFrame(kColorFrameId));
  EXPECT_EQ(kColorFrameId & kSensorMask, kCommandIdBase & kSensorMask);
}

// The sensor's side, as the simulated sensor writes and reads it.
TEST(IridelRoundTrip, ColorLinesAndTheSampleTimeLine) {
  const std::array<float, 3> xyz{0.25F, 0.5F, 0.1234F};
  const std::string plain = encodeColorLine(xyz, std::nullopt);
  EXPECT_EQ(plain, "XYZ: 0.2500, 0.5000, 0.1234\r\n");
  const std::string withDistance = encodeColorLine(xyz, 123);
  EXPECT_EQ(withDistance, "DIST: 123  XYZ: 0.2500, 0.5000, 0.1234\r\n");
  for (const std::string& line : {plain, withDistance}) {
    const auto back = parseColorLine(trim(line));
    ASSERT_TRUE(back.has_value()) << line;
    EXPECT_FLOAT_EQ((*back)[0], 0.25F);
    EXPECT_FLOAT_EQ((*back)[1], 0.5F);
    EXPECT_FLOAT_EQ((*back)[2], 0.1234F);
  }

  EXPECT_EQ(parseSampleTimeLine(sampleTimeLine(40)), 40);
  EXPECT_EQ(parseSampleTimeLine("SAMPLETIME,"), 0);
  EXPECT_EQ(parseSampleTimeLine(colorFormatLine("XYZ")), std::nullopt);
}

}  // namespace
