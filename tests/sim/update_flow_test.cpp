// The tool's own update procedure against the model: the built-in adaptors end up running the carried
// firmware with rebranded NVRAM, or the procedure reports the failure the scenario provokes.
#include <gtest/gtest.h>

#include <string>

#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "firmware/flash_programming.h"
#include "firmware/nvram_rewrite.h"
#include "tests/sim/sim_test_support.h"
#include "firmware/chip_profiles.h"

namespace corvane::sim {
namespace {

using namespace ::corvane::device;
using namespace ::corvane::firmware;

using testing::LiveWorld;

class Context : public UpdateContext {
 public:
  explicit Context(std::uint8_t chipCode) : chipCode_(chipCode) {}
  std::uint8_t ChipCode() const override { return chipCode_; }
  void SetProgress(int percent) override { last = percent; }
  void ProcessPendingMessages() override {}
  int last = -1;

 private:
  std::uint8_t chipCode_;
};

struct RunResult {
  bool flashed = false;
  bool rebranded = false;
};

RunResult RunUpdate(LiveWorld& w) {
  const std::string path = w.Path();
  Context context(ChipCodeOf(IdentifyChip(path)));
  RunResult r;
  r.flashed = UpdateFirmware(context, path);
  if (r.flashed) {
    const std::uint32_t address =
        context.ChipCode() == kChipCodeKts210 ? firmware::kKts210Profile.nvramAddress : firmware::kKts260Profile.nvramAddress;
    r.rebranded = RewriteNvramVendorStrings(context, path, address);
  }
  return r;
}

TEST(UpdateFlow, BuiltInAdaptorsAfterOneUpdate) {
  struct Row {
    const char* scenario;
    bool flashed;
    std::array<std::uint8_t, 4> versionAfterReplug;
    bool romAfterReplug;
  };
  const Row rows[] = {
      {"kts260", true, {234, 1, 0, 1}, false},
      {"kts210", true, {0, 2, 1, 4}, false},
      {"kts260-current", true, {234, 1, 0, 1}, false},
      {"kts260-rom", true, {234, 1, 0, 1}, false},
      {"kts260-corrupt", true, {234, 1, 0, 1}, false},  // the second attempt verifies
      {"kts210-rom", false, {0, 2, 1, 3}, true},        // no manufacturing code for it
      {"kts260-unplug", false, {0, 1, 0, 8}, true},     // pulled out mid-download
  };
  for (const Row& row : rows) {
    LiveWorld w(row.scenario);
    const RunResult r = RunUpdate(w);
    EXPECT_EQ(r.flashed, row.flashed) << row.scenario;
    EXPECT_EQ(r.rebranded, row.flashed) << row.scenario;
    if (r.rebranded) {
      const auto nvram = w.world.Bridge(0).Nvram();
      EXPECT_EQ(std::string(nvram.begin() + 200, nvram.begin() + 208), "Corvane ") << row.scenario;
    }
    w.world.Replug(0);
    EXPECT_EQ(w.world.Bridge(0).FirmwareVersion(), row.versionAfterReplug) << row.scenario;
    EXPECT_EQ(w.world.Bridge(0).RomMode(), row.romAfterReplug) << row.scenario;
  }
}

TEST(UpdateFlow, NvmeBridgeRecoversThroughItsBootRomAfterAnInterruptedDownload) {
  LiveWorld w("kts260-unplug");
  EXPECT_FALSE(RunUpdate(w).flashed);
  w.world.Replug(0);
  ASSERT_TRUE(w.world.Bridge(0).RomMode());
  const RunResult again = RunUpdate(w);
  EXPECT_TRUE(again.flashed);
  EXPECT_TRUE(again.rebranded);
  w.world.Replug(0);
  EXPECT_FALSE(w.world.Bridge(0).RomMode());
  EXPECT_EQ(w.world.Bridge(0).FirmwareVersion(), (std::array<std::uint8_t, 4>{234, 1, 0, 1}));
}

TEST(UpdateFlow, LostNvramWriteIsCaughtByTheReadBack) {
  LiveWorld w(testing::OneDevice(
      R"({"chip": "KTS260", "faults": [{"command": "WriteChipMemory", "nth": 1, "effect": "ignore"}]})"));
  const RunResult r = RunUpdate(w);
  EXPECT_TRUE(r.flashed);
  EXPECT_FALSE(r.rebranded);
  ASSERT_FALSE(w.host.DebugTexts().empty());
  EXPECT_EQ(w.host.DebugTexts().back(), "Compare Fail.");
}

}  // namespace
}  // namespace corvane::sim
