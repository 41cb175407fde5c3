// Faults of a scenario as the host sees them through the port: refused commands, unplug, time-out,
// lost writes and a corrupted read-back.
#include <gtest/gtest.h>

#include <array>

#include "device/bridge_commands.h"
#include "device/aligned_buffer.h"
#include "device/pass_through.h"
#include "firmware/carried_images.h"
#include "firmware/chip_profiles.h"
#include "tests/sim/sim_test_support.h"

namespace corvane::sim {
namespace {

using namespace ::corvane::device;
using namespace ::corvane::firmware;

using testing::LiveWorld;
using testing::OneDevice;
using Block = std::vector<std::uint8_t>;

int ChipInfoResult(const std::string& path) {
  std::array<std::uint8_t, 16> info{};
  std::uint32_t count = 0;
  return ReadChipInfo(path, info.data(), 16, &count);
}

TEST(Faults, NthCommandOfAKindFailsOnce) {
  struct Row {
    const char* effect;
    std::uint32_t nth;
  };
  for (const Row& row : {Row{"check-condition", 1}, Row{"check-condition", 3}, Row{"timeout", 2}}) {
    LiveWorld w(OneDevice(std::string(R"({"chip": "KTS260", "faults": [{"command": "ReadChipInfo", "nth": )") +
                          std::to_string(row.nth) + R"(, "effect": ")" + row.effect + R"("}]})"));
    // Other kinds do not count towards it.
    std::array<std::uint8_t, 40> inquiry{};
    for (int i = 0; i < 5; ++i) ASSERT_EQ(ScsiInquiry(w.Path(), inquiry.data(), 40), 1);
    for (std::uint32_t n = 1; n <= 5; ++n) {
      EXPECT_EQ(ChipInfoResult(w.Path()), n == row.nth ? 0 : 1) << row.effect << " n=" << n;
    }
    EXPECT_TRUE(w.world.IsPlugged(0));
  }
}

TEST(Faults, CheckConditionLeavesSenseForRequestSense) {
  LiveWorld w(OneDevice(R"({"chip": "KTS260", "faults": [{"command": "ReadBuffer", "nth": 1, "effect": "check-condition"}]})"));
  std::array<std::uint8_t, 4> d{};
  EXPECT_EQ(ReadBuffer(w.Path(), 0x03, 0, 0, d.data(), 4), 0);
  const auto& trace = w.world.Trace();
  ASSERT_EQ(trace.size(), 2u);
  EXPECT_EQ(trace[0].scsiStatus, 2);
  EXPECT_EQ(trace[1].cdb[0], 0x03);  // the transport fetched the sense
  EXPECT_EQ(trace[1].scsiStatus, 0);
}

TEST(Faults, TimeoutAdvancesVirtualTimeByTheCommandsTimeout) {
  struct Row {
    const char* command;
    std::uint64_t expectedMs;
  };
  const Row rows[] = {{"ReadChipInfo", 10000}, {"WriteChipMemory", 50000}};
  for (const Row& row : rows) {
    LiveWorld w(OneDevice(std::string(R"({"chip": "KTS260", "faults": [{"command": ")") + row.command +
                          R"(", "nth": 1, "effect": "timeout"}]})"));
    Block nvram(512, 0);
    const int result = std::string_view(row.command) == "ReadChipInfo"
                           ? ChipInfoResult(w.Path())
                           : WriteChipMemory(w.Path(), firmware::kKts260Profile.nvramAddress, nvram.data(), 512, 1);
    EXPECT_EQ(result, 0) << row.command;
    EXPECT_EQ(w.clock.NowMs(), row.expectedMs) << row.command;
    const TraceEntry& last = w.world.Trace().back();
    EXPECT_TRUE(last.opened);
    EXPECT_FALSE(last.carriedOut);
    EXPECT_TRUE(w.world.IsPlugged(0));
  }
  // The port reports a platform error for the lost command.
  LiveWorld w(OneDevice(R"({"chip": "KTS260", "faults": [{"command": "ScsiInquiry", "nth": 1, "effect": "timeout"}]})"));
  const std::uint8_t cdb[12] = {0x12, 0, 0, 0, 40};
  AlignedBlock data(40);
  ScsiRequest request{std::span<const std::uint8_t>(cdb, 12), DataDirection::In,
                      std::span<std::uint8_t>(data.data(), 40), 10, OpenMode::Shared, {}};
  const ScsiOutcome outcome = w.world.Port().Execute(w.Path(), request);
  EXPECT_TRUE(outcome.opened);
  EXPECT_FALSE(outcome.carriedOut);
  EXPECT_NE(outcome.platformError, 0u);
}

TEST(Faults, UnplugDuringACommandRemovesTheDeviceUntilReplugged) {
  struct Row {
    const char* fault;
    std::size_t failingCommand;  // 1-based index of the command that finds the device gone
  };
  const Row rows[] = {
      {R"({"command": "ReadChipInfo", "nth": 2, "effect": "unplug"})", 2},
      {R"({"afterCommands": 3, "effect": "unplug"})", 4},
      {R"({"afterCommands": 1})", 2},
  };
  for (const Row& row : rows) {
    LiveWorld w(OneDevice(std::string(R"({"chip": "KTS260", "faults": [)") + row.fault + "]}"));
    std::vector<std::pair<std::size_t, bool>> plugEvents;
    w.world.SetPlugListener([&](std::size_t index, bool plugged) { plugEvents.emplace_back(index, plugged); });
    for (std::size_t n = 1; n <= 6; ++n) {
      EXPECT_EQ(ChipInfoResult(w.Path()), n < row.failingCommand ? 1 : 0) << row.fault << " n=" << n;
    }
    const auto& trace = w.world.Trace();
    ASSERT_EQ(trace.size(), 6u);
    EXPECT_TRUE(trace[row.failingCommand - 1].opened) << row.fault;
    EXPECT_FALSE(trace[row.failingCommand - 1].carriedOut) << row.fault;
    EXPECT_FALSE(trace[row.failingCommand].opened) << row.fault;
    EXPECT_EQ(plugEvents, (std::vector<std::pair<std::size_t, bool>>{{0, false}})) << row.fault;
    std::vector<DiskInterface> disks;
    ASSERT_TRUE(w.world.Disks().ListDiskInterfaces(disks));
    EXPECT_TRUE(disks.empty());
    // Re-plugged, the device answers again and the fault does not come back.
    w.world.Replug(0);
    for (int n = 0; n < 6; ++n) EXPECT_EQ(ChipInfoResult(w.Path()), 1) << row.fault;
    ASSERT_TRUE(w.world.Disks().ListDiskInterfaces(disks));
    EXPECT_EQ(disks.size(), 1u);
  }
}

TEST(Faults, UnplugMidDownloadBringsTheNvmeBridgeBackInBootRom) {
  LiveWorld w("kts260-unplug");
  const auto image = FindCarriedImage("FW", "KTS260_V234_01_00_01");
  std::uint32_t written = 0;
  for (std::uint32_t offset = 0; offset < 0x10400; offset += 1024) {
    if (WriteBuffer(w.Path(), 0, 0x0E, image.data() + offset, offset, 1024) != 1) break;
    ++written;
  }
  EXPECT_EQ(written, 19u);
  EXPECT_FALSE(w.world.IsPlugged(0));
  w.world.Replug(0);
  EXPECT_TRUE(w.world.Bridge(0).RomMode());
  std::array<std::uint8_t, 4> d{};
  ASSERT_EQ(ReadBuffer(w.Path(), 0x03, 0, 0, d.data(), 4), 1);
  EXPECT_EQ(d[0], 0xFF);
}

TEST(Faults, IgnoredWriteReportsSuccessButChangesNothing) {
  LiveWorld w(OneDevice(R"({"chip": "KTS210", "faults": [{"command": "WriteChipMemory", "nth": 1, "effect": "ignore"}]})"));
  Block block(512, 0);
  ASSERT_EQ(ReadChipMemory(w.Path(), firmware::kKts210Profile.nvramAddress, block.data(), 512), 1);
  Block changed = block;
  std::copy_n("Corvane", 7, changed.begin() + 200);
  EXPECT_EQ(WriteChipMemory(w.Path(), firmware::kKts210Profile.nvramAddress, changed.data(), 512, 1), 1);
  Block after(512, 0);
  ASSERT_EQ(ReadChipMemory(w.Path(), firmware::kKts210Profile.nvramAddress, after.data(), 512), 1);
  EXPECT_EQ(after, block);
  // The second write is carried out.
  EXPECT_EQ(WriteChipMemory(w.Path(), firmware::kKts210Profile.nvramAddress, changed.data(), 512, 1), 1);
  ASSERT_EQ(ReadChipMemory(w.Path(), firmware::kKts210Profile.nvramAddress, after.data(), 512), 1);
  EXPECT_EQ(after, changed);
}

TEST(Faults, CorruptReadBackOnceOrAlways) {
  struct Row {
    bool once;
    int corruptReads;
  };
  for (const Row& row : {Row{true, 1}, Row{false, 3}}) {
    LiveWorld w(OneDevice(std::string(R"({"chip": "KTS260", "faults": [{"corruptReadBack": "0x1402", "once": )") +
                          (row.once ? "true" : "false") + "}]}"));
    const auto flash = w.world.Bridge(0).Flash();
    int corrupt = 0;
    for (int pass = 0; pass < 3; ++pass) {
      for (std::uint32_t offset = 0; offset < 0x2000; offset += 1024) {
        Block block(1024, 0);
        ASSERT_EQ(ReadBuffer(w.Path(), 0x01, 0, offset, block.data(), 1024), 1);
        for (std::uint32_t i = 0; i < 1024; ++i) {
          if (block[i] == flash[offset + i]) continue;
          EXPECT_EQ(offset + i, 0x1402u);
          EXPECT_EQ(block[i], static_cast<std::uint8_t>(flash[offset + i] ^ 0xFF));
          ++corrupt;
        }
      }
    }
    EXPECT_EQ(corrupt, row.corruptReads) << (row.once ? "once" : "always");
  }
}

}  // namespace
}  // namespace corvane::sim
