// The small disk a host's driver sees behind the bridge, and the command trace of the port.
#include <gtest/gtest.h>

#include <array>

#include "device/bridge_commands.h"
#include "tests/sim/sim_test_support.h"
#include "firmware/chip_profiles.h"

namespace corvane::sim {
namespace {

using namespace ::corvane::device;

using testing::Bytes;
using testing::LiveWorld;
using testing::OneDevice;
using testing::Send;
using Block = std::vector<std::uint8_t>;

TEST(DiskCommands, AttachSequenceOfAHostDriver) {
  struct Row {
    const char* what;
    Block cdb;
    std::size_t length;
    std::uint8_t status;
    Block expectedStart;  // first bytes of the data-in answer
    std::uint32_t transferred;
  };
  const Row rows[] = {
      {"test unit ready", {0x00, 0, 0, 0, 0, 0}, 0, 0, {}, 0},
      {"read capacity 10", {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8, 0, {0, 0, 0x07, 0xFF, 0, 0, 0x02, 0}, 8},
      {"read capacity 16", {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0}, 32, 0,
       {0, 0, 0, 0, 0, 0, 0x07, 0xFF, 0, 0, 0x02, 0}, 32},
      {"mode sense 6 all pages", {0x1A, 0, 0x3F, 0, 0xC0, 0}, 192, 0, {23, 0, 0, 0, 0x08, 0x12}, 24},
      {"mode sense 6 short", {0x1A, 0, 0x3F, 0, 4, 0}, 192, 0, {23, 0, 0, 0}, 4},
      {"mode sense 10 caching", {0x5A, 0, 0x08, 0, 0, 0, 0, 0, 0xFF, 0}, 255, 0, {0, 26, 0, 0, 0, 0, 0, 0, 0x08}, 28},
      {"mode sense unknown page", {0x1A, 0, 0x1C, 0, 0xC0, 0}, 192, 2, {}, 0},
      {"report luns", {0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0}, 16, 0, {0, 0, 0, 8, 0, 0, 0, 0}, 16},
      {"vpd list", {0x12, 1, 0x00, 0, 0xFF, 0}, 255, 0, {0, 0, 0, 3, 0x00, 0x80, 0x83}, 7},
      {"vpd serial", {0x12, 1, 0x80, 0, 0xFF, 0}, 255, 0, {0, 0x80, 0}, 16},
      {"vpd identification", {0x12, 1, 0x83, 0, 0xFF, 0}, 255, 0, {0, 0x83, 0, 28, 0x02, 0x01, 0, 24}, 32},
      {"vpd block limits", {0x12, 1, 0xB0, 0, 0xFF, 0}, 255, 2, {}, 0},
      {"page code without evpd", {0x12, 0, 0x80, 0, 0xFF, 0}, 255, 2, {}, 0},
      {"read 10 of a fresh disk", {0x28, 0, 0, 0, 0, 0x10, 0, 0, 2, 0}, 1024, 0, {0, 0, 0, 0}, 1024},
      {"read 16", {0x88, 0, 0, 0, 0, 0, 0, 0, 0x07, 0xFF, 0, 0, 0, 1, 0, 0}, 512, 0, {0, 0}, 512},
      {"read past the end", {0x28, 0, 0, 0, 0x07, 0xFF, 0, 0, 2, 0}, 1024, 2, {}, 0},
      {"read more than the data phase", {0x28, 0, 0, 0, 0, 0, 0, 0, 4, 0}, 1024, 2, {}, 0},
      {"synchronize cache", {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, {}, 0},
      {"prevent allow medium removal", {0x1E, 0, 0, 0, 1, 0}, 0, 0, {}, 0},
      {"start stop unit", {0x1B, 0, 0, 0, 1, 0}, 0, 0, {}, 0},
      {"unknown opcode", {0xC1, 0, 0, 0, 0, 0}, 0, 2, {}, 0},
  };
  for (const char* scenario : {"kts260", "usb-stick"}) {
    LiveWorld w(scenario);
    for (const Row& row : rows) {
      auto e = Send(w.world.Bridge(0), row.cdb, row.length);
      EXPECT_EQ(e.answer.scsiStatus, row.status) << scenario << ": " << row.what;
      if (row.status != 0) {
        EXPECT_EQ(e.answer.sense[2], 0x05) << scenario << ": " << row.what;
        continue;
      }
      EXPECT_EQ(e.answer.transferred, row.transferred) << scenario << ": " << row.what;
      EXPECT_EQ(Block(e.data.begin(), e.data.begin() + static_cast<std::ptrdiff_t>(row.expectedStart.size())),
                row.expectedStart)
          << scenario << ": " << row.what;
    }
  }
}

TEST(DiskCommands, WrittenBlocksReadBackOthersStayZero) {
  LiveWorld w(OneDevice(R"({"chip": "KTS210", "diskBlocks": 64})"));
  SimBridge& b = w.world.Bridge(0);
  Block pattern(1024);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i * 7);
  EXPECT_EQ(Send(b, {0x2A, 0, 0, 0, 0, 62, 0, 0, 2, 0}, 1024, DataDirection::Out, pattern).answer.scsiStatus, 0);
  EXPECT_EQ(Send(b, {0x2A, 0, 0, 0, 0, 63, 0, 0, 2, 0}, 1024, DataDirection::Out, pattern).answer.scsiStatus, 2);
  auto back = Send(b, {0x28, 0, 0, 0, 0, 61, 0, 0, 3, 0}, 1536);
  ASSERT_EQ(back.answer.scsiStatus, 0);
  EXPECT_EQ(Block(back.data.begin(), back.data.begin() + 512), Block(512, 0));
  EXPECT_EQ(Block(back.data.begin() + 512, back.data.end()), pattern);
  auto capacity = Send(b, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
  EXPECT_EQ(capacity.data[3], 63);
}

TEST(PortTrace, RecordsEveryCommandAndFormatsIt) {
  LiveWorld w("kts260");
  std::vector<std::string> sunk;
  w.world.SetTraceSink([&](const TraceEntry& e) { sunk.push_back(FormatTraceEntry(e)); });
  std::array<std::uint8_t, 512> nvram{};
  ASSERT_EQ(ReadChipMemory(w.Path(), firmware::kKts260Profile.nvramAddress, nvram.data(), 512), 1);
  ASSERT_EQ(WriteChipMemory(w.Path(), 0, nullptr, 0, 3), 1);
  std::array<std::uint8_t, 4> d{};
  EXPECT_EQ(ReadBuffer(w.Path(), 0x03, 0x07, 0, d.data(), 4), 0);
  w.world.Unplug(0);
  std::array<std::uint8_t, 1> status{};
  EXPECT_EQ(ReadBridgeStatus(w.Path(), status.data()), 0);

  const std::vector<std::string> expected = {
      "sim/usbstor/0  DF 10 00 02 00 00 00 00 01 10 00 FA  in   len=512  t=10s  shared  -> ok (512 bytes)",
      "sim/usbstor/0  DF 03 00 00 00 00 00 00 00 00 00 FB  out  len=0  t=100s  excl  -> ok (0 bytes)",
      "sim/usbstor/0  3C 03 07 00 00 00 00 00 04 00  in   len=4  t=10s  shared  -> status 02",
      "sim/usbstor/0  03 00 00 00 12 00 00 00 00 00 00 00  in   len=18  t=10s  shared  -> ok (18 bytes)",
      "sim/usbstor/0  FF 04 12 00 00 00 00 00 00 00 00 00  in   len=2  t=10s  shared  -> open failed",
  };
  EXPECT_EQ(sunk, expected);
  ASSERT_EQ(w.world.Trace().size(), expected.size());
  const TraceEntry& write = w.world.Trace()[1];
  EXPECT_EQ(write.direction, DataDirection::Out);
  EXPECT_EQ(write.openMode, OpenMode::Exclusive);
  EXPECT_EQ(write.timeoutSeconds, 100u);
  w.world.ClearTrace();
  EXPECT_TRUE(w.world.Trace().empty());
}

// A watch that runs for a day sees thousands of re-plugs and rescans: the trace keeps the most
// recent commands and its memory stays bounded, while the count goes on.
TEST(PortTrace, StaysBoundedOverTenThousandReplugsAndKeepsTheNewest) {
  LiveWorld w("kts260");
  std::array<std::uint8_t, 40> inquiry{};
  for (int cycle = 0; cycle < 10000; ++cycle) {
    w.world.Unplug(0);
    w.world.Replug(0);
    ASSERT_EQ(ScsiInquiry(w.Path(), inquiry.data(), 40), 1);
    ASSERT_LE(w.world.Trace().size(), SimWorld::kTraceLimit);
  }
  EXPECT_EQ(ScsiInquiry("sim/usbstor/7", inquiry.data(), 40), 0);
  EXPECT_EQ(w.world.TraceCount(), 10001u);
  EXPECT_GE(w.world.Trace().size(), SimWorld::kTraceLimit / 2);
  EXPECT_EQ(w.world.Trace().back().path, "sim/usbstor/7");
  EXPECT_TRUE(w.world.Trace()[w.world.Trace().size() - 2].opened);
}

TEST(PortTrace, UnreadablePathAndUnknownPaths) {
  LiveWorld w(ParseScenario(R"({"devices": [{"chip": "KTS260", "pathUnreadable": true}, {"chip": "KTS210"}]})"));
  std::vector<DiskInterface> disks;
  ASSERT_TRUE(w.world.Disks().ListDiskInterfaces(disks));
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_FALSE(disks[0].path);
  EXPECT_EQ(disks[1].path, w.Path(1));
  std::array<std::uint8_t, 40> inquiry{};
  EXPECT_EQ(ScsiInquiry("sim/usbstor/7", inquiry.data(), 40), 0);
  EXPECT_FALSE(w.world.Trace().back().opened);
  EXPECT_TRUE(w.world.Port().IsSimulated());
}

TEST(PortTrace, OpensRefusedForRightsOrAnotherHolder) {
  struct Row {
    const char* what;
    bool accessDenied;
    bool held;
    OpenMode mode;
    bool opened;
  };
  const Row rows[] = {
      {"free, shared", false, false, OpenMode::Shared, true},
      {"free, exclusive", false, false, OpenMode::Exclusive, true},
      {"held, shared", false, true, OpenMode::Shared, true},
      {"held, exclusive", false, true, OpenMode::Exclusive, false},
      {"no rights", true, false, OpenMode::Shared, false},
  };
  for (const Row& row : rows) {
    LiveWorld w(OneDevice(std::string(R"({"chip": "KTS260", "accessDenied": )") +
                          (row.accessDenied ? "true" : "false") + "}"));
    w.world.SetHeldByOther(0, row.held);
    const std::uint8_t cdb[12] = {0x00};
    const ScsiRequest request{std::span<const std::uint8_t>(cdb, 12), DataDirection::In, {}, 10, row.mode, {}};
    const ScsiOutcome outcome = w.world.Port().Execute(w.Path(), request);
    EXPECT_EQ(outcome.opened, row.opened) << row.what;
    EXPECT_EQ(outcome.accessDenied, row.accessDenied) << row.what;
    EXPECT_EQ(outcome.platformError != 0, !row.opened) << row.what;
    EXPECT_EQ(w.world.Trace().size(), 1u) << row.what;
  }
}

}  // namespace
}  // namespace corvane::sim

namespace corvane::sim {
namespace {

// Whatever a host sends (the USB gadget passes on any block), the model answers within the data
// phase it was given and reports no more than that as transferred.
TEST(ModelRobustness, ArbitraryBlocksStayWithinTheDataPhase) {
  const std::uint8_t opcodes[] = {0x00, 0x03, 0x08, 0x0A, 0x12, 0x1A, 0x1B, 0x1E, 0x25, 0x28, 0x2A, 0x35,
                                  0x3B, 0x3C, 0x5A, 0x88, 0x8A, 0x91, 0x9E, 0xA0, 0xB5, 0xDF, 0xE0, 0xFE, 0xFF};
  std::uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  for (const char* scenario : {"kts260", "kts210-rom", "usb-stick"}) {
    LiveWorld w(scenario);
    SimBridge& b = w.world.Bridge(0);
    for (int i = 0; i < 4000; ++i) {
      std::vector<std::uint8_t> cdb(1 + next() % 16);
      for (auto& byte : cdb) byte = static_cast<std::uint8_t>(next());
      cdb[0] = opcodes[next() % std::size(opcodes)];
      if (next() % 4 == 0) cdb[11 % cdb.size()] = static_cast<std::uint8_t>(0xF9 + next() % 7);
      std::vector<std::uint8_t> data(next() % 3 == 0 ? 0 : next() % 2100);
      const auto direction = next() % 2 == 0 ? DataDirection::In : DataDirection::Out;
      const CommandAnswer a = b.Execute(cdb, direction, data);
      EXPECT_LE(a.transferred, data.size()) << scenario << " opcode " << int(cdb[0]);
      EXPECT_TRUE(a.scsiStatus == 0 || a.scsiStatus == 2) << scenario;
    }
  }
}

}  // namespace
}  // namespace corvane::sim
