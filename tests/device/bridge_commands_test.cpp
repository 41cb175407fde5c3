#include "device/bridge_commands.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/device/fake_device.h"

namespace corvane::device::testing {
namespace {

using Invoke = std::function<int(std::uint8_t* in, const std::uint8_t* out)>;

struct CommandRow {
  const char* name;
  Invoke send;
  Bytes block;
  DataDirection direction;
  std::size_t wireLength;
  std::uint32_t timeout;
};

TEST(BridgeCommands, EveryBlockByteForByte) {
  constexpr auto In = DataDirection::In;
  constexpr auto Out = DataDirection::Out;
  std::uint32_t n = 0;
  const std::vector<CommandRow> rows = {
      {"inquiry", [](auto* b, auto*) { return ScsiInquiry("d", b, 40); },
       {0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0}, In, 40, 10},
      {"inquiry L>255", [](auto* b, auto*) { return ScsiInquiry("d", b, 0x128); },
       {0x12, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0}, In, 0x128, 10},
      {"chip id word", [](auto* b, auto*) { return ReadChipIdWord("d", b); },
       {0xDF, 0x10, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0xFF}, In, 2, 10},
      {"chip info", [&](auto* b, auto*) { return ReadChipInfo("d", b, 16, &n); },
       {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, In, 16, 10},
      {"chip info alt", [&](auto* b, auto*) { return ReadChipInfoAlt("d", b, 16, &n); },
       {0xFE, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, In, 16, 10},
      {"bridge status", [](auto* b, auto*) { return ReadBridgeStatus("d", b); },
       {0xFF, 0x04, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}, In, 2, 10},
      {"flash type", [](auto* b, auto*) { return ReadFlashType("d", b); },
       {0xFF, 0x04, 0x23, 0x04, 0, 0, 0, 0, 0, 0, 0, 0}, In, 4, 10},
      {"legacy id", [](auto* b, auto*) { return ReadLegacyChipId("d", b, 40); },
       {0xFF, 0x04, 0x30, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}, In, 40, 10},
      {"read memory", [](auto* b, auto*) { return ReadChipMemory("d", 0x011000, b, 512); },
       {0xDF, 0x10, 0x00, 0x02, 0x00, 0, 0, 0, 0x01, 0x10, 0x00, 0xFA}, In, 512, 10},
      {"write memory 1", [](auto*, auto* o) { return WriteChipMemory("d", 0xD000, o, 512, 1); },
       {0xDF, 0x01, 0x00, 0x02, 0x00, 0, 0, 0, 0x00, 0xD0, 0x00, 0xFB}, Out, 512, 50},
      {"write memory 0x0B", [](auto*, auto*) { return WriteChipMemory("d", 0, nullptr, 0, 0x0B); },
       {0xDF, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB}, Out, 0, 100},
      {"write memory 0x81", [](auto*, auto* o) { return WriteChipMemory("d", 1, o, 1, 0x81); },
       {0xDF, 0x81, 0, 0, 0x01, 0, 0, 0, 0, 0, 0x01, 0xFB}, Out, 2, 50},
      {"probe B5", [](auto* b, auto*) { return ProbeVendorB5("d", 0x64, 0x01, b, 512); },
       {0xB5, 0, 0, 0, 0, 0x64, 0, 0, 0x01, 0, 0, 0}, In, 512, 10},
      {"request sense", [](auto*, auto*) { return RequestSense("d"); },
       {0x03, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0}, In, 18, 10},
      {"read descriptor", [](auto* b, auto*) { return ReadBuffer("d", 3, 1, 0, b, 4); },
       {0x3C, 0x03, 0x01, 0, 0, 0, 0, 0, 0x04, 0x00}, In, 4, 10},
      {"read buffer", [](auto* b, auto*) { return ReadBuffer("d", 1, 0, 0x1400, b, 1024); },
       {0x3C, 0x01, 0x00, 0x00, 0x14, 0x00, 0x00, 0x04, 0x00, 0x00}, In, 1024, 10},
      {"write buffer", [](auto*, auto* o) { return WriteBuffer("d", 0, 6, o, 0x400, 0x10000); },
       {0x3B, 0x06, 0x00, 0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00}, Out, 0x10000, 50},
      {"activate", [](auto*, auto* o) { return WriteBuffer("d", 7, 0x0F, o, 0x400, 4); },
       {0x3B, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0}, Out, 4, 50},
  };
  Bytes in(0x10000), out(0x10000, 0xA5);
  for (const CommandRow& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDevice dev;
    dev.port.responder = [](const Call&) { return Reply{}; };
    EXPECT_EQ(row.send(in.data(), out.data()), 1);
    ASSERT_EQ(dev.port.calls.size(), 1u);
    const Call& call = dev.port.calls[0];
    EXPECT_EQ(call.cdb, row.block);
    EXPECT_EQ(call.path, "d");
    EXPECT_EQ(call.direction, row.direction);
    EXPECT_EQ(call.data.size(), row.wireLength);
    EXPECT_EQ(call.timeoutSeconds, row.timeout);
  }
}

TEST(BridgeCommands, FailedBufferCommandsClearSense) {
  const std::vector<std::pair<const char*, std::function<int()>>> rows = {
      {"read", [] { std::uint8_t b[4]; return ReadBuffer("d", 3, 1, 0, b, 4); }},
      {"write", [] { return WriteBuffer("d", 0, 6, nullptr, 0, 1024); }},
  };
  const Bytes sense = {0x03, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0};
  for (const auto& [name, send] : rows) {
    SCOPED_TRACE(name);
    FakeDevice dev;
    dev.port.rules = {{{0x03}, Reply{}}};  // the sense fetch itself succeeds
    EXPECT_EQ(send(), 0);                  // but the result stays the buffer command's
    ASSERT_EQ(dev.port.calls.size(), 2u);
    EXPECT_EQ(dev.port.calls[1].cdb, sense);
    EXPECT_EQ(dev.port.calls[1].data.size(), 18u);

    dev.port.calls.clear();
    dev.port.rules = {{{0x3C}, Reply{}}, {{0x3B}, Reply{}}};
    EXPECT_EQ(send(), 1);
    EXPECT_EQ(dev.port.calls.size(), 1u);  // no sense fetch after success
  }
}

TEST(BridgeCommands, ValuesBeyondTwentyFourBitsAreNotSent) {
  FakeDevice dev;
  std::uint8_t b[4] = {};
  EXPECT_EQ(ReadChipMemory("d", 0x1000000, b, 4), 0);
  EXPECT_EQ(WriteChipMemory("d", 0, nullptr, 0x1000000, 1), 0);
  EXPECT_EQ(ReadBuffer("d", 1, 0, 0x1000000, b, 4), 0);
  EXPECT_EQ(WriteBuffer("d", 0, 6, nullptr, 0, 0x1000000), 0);
  EXPECT_TRUE(dev.port.calls.empty());
}

TEST(BridgeCommands, BridgeStatusReturnsOneByte) {
  FakeDevice dev;
  dev.port.rules = {{{0xFF, 0x04, 0x12}, Answer({0x01, 0x77})}};
  std::uint8_t status[2] = {0, 0xCC};
  EXPECT_EQ(ReadBridgeStatus("d", status), 1);
  EXPECT_EQ(status[0], 0x01);
  EXPECT_EQ(status[1], 0xCC);
}

TEST(BridgeCommandsDeathTest, LegacyIdShorterThanEightStops) {
  ScopedPlatform none{Platform{}};
  std::uint8_t b[8];
  EXPECT_DEATH(ReadLegacyChipId("d", b, 7), "length >= 0x08.*IDEAccess");
}

struct ReadyRow {
  const char* name;
  std::uint64_t busyMs;  // the bridge reports `busy` until this virtual time, then `ready`
  bool unopenableAfterFirst;
  int result;
  std::size_t reads;
  std::uint8_t busy = 0x01;
  std::uint8_t ready = 0x00;
};

TEST(BridgeCommands, WaitBridgeReadyOnVirtualTime) {
  constexpr std::uint64_t kNever = ~std::uint64_t{0};
  const std::vector<ReadyRow> rows = {
      {"ready at once", 0, false, 1, 1},
      {"busy 200 ms", 200, false, 1, 21},
      {"never clears", kNever, false, 0, 501},
      // An open that fails keeps the previous (busy) byte, so the wait runs out.
      {"gone after first read", kNever, true, 0, 501},
      // Only bit 0 means busy: every other bit of the status byte is ignored.
      {"0x02 is ready at once", 0, false, 1, 1, 0x01, 0x02},
      {"0x80 is ready at once", 0, false, 1, 1, 0x01, 0x80},
      {"0xFE is ready at once", 0, false, 1, 1, 0x01, 0xFE},
      {"0xFF is busy until 0xFE", 30, false, 1, 4, 0xFF, 0xFE},
  };
  for (const ReadyRow& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDevice dev;
    dev.port.responder = [&](const Call&) {
      if (row.unopenableAfterFirst && dev.port.calls.size() > 1) return Unopenable();
      return Answer({dev.host.nowMs < row.busyMs ? row.busy : row.ready});
    };
    EXPECT_EQ(WaitBridgeReady("d"), row.result);
    EXPECT_EQ(dev.port.calls.size(), row.reads);
    EXPECT_EQ(dev.host.nowMs, 10 * (row.reads - 1));
  }
  // A status read that fails after the open leaves zeros: the wait ends as ready.
  FakeDevice dev;
  dev.port.responder = [&](const Call&) {
    return dev.port.calls.size() == 1 ? Answer({0x01}) : Rejected();
  };
  EXPECT_EQ(WaitBridgeReady("d"), 1);
  EXPECT_EQ(dev.port.calls.size(), 2u);
}

}  // namespace
}  // namespace corvane::device::testing
