#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "firmware/adaptor_backup.h"
#include "firmware/flash_programming.h"
#include "firmware/nvram_rewrite.h"
#include "tests/firmware/firmware_test_support.h"

namespace corvane::firmware::testing {
namespace {

using sim::ChipFamily;

std::vector<std::uint8_t> Area(sim::SimBridge& bridge, std::uint32_t size) {
  const auto flash = bridge.Flash();
  return {flash.begin(), flash.begin() + size};
}

// Backup of an old bridge, the update, the restore: the bridge holds and reports its old firmware
// and its old NVRAM bytes again, through a file's bytes.
TEST(AdaptorBackup, RestoreAfterAnUpdateBringsBackTheOldFirmwareAndNvram) {
  for (const ChipFamily family : {ChipFamily::Kts260, ChipFamily::Kts210}) {
    SCOPED_TRACE(family == ChipFamily::Kts260 ? "KTS260" : "KTS210");
    SimRig rig(Bridge(family));
    const ChipProfile& chip = *FindChipProfile(ChipCodeOf(family));
    const auto oldVersion = rig.Bridge().FirmwareVersion();
    const auto oldArea = Area(rig.Bridge(), chip.firmwareArea);
    const std::vector<std::uint8_t> oldNvram(rig.Bridge().Nvram().begin(), rig.Bridge().Nvram().end());

    AdaptorBackup taken;
    ASSERT_EQ(ReadAdaptorBackup(rig.Path(), chip.chipCode, "2026-12-09T03:00:00Z", taken), "");
    EXPECT_EQ(taken.IdentityValue("chip"), chip.chipName);
    EXPECT_EQ(taken.IdentityValue("taken"), "2026-12-09T03:00:00Z");
    EXPECT_TRUE(Commands(rig.Trace(), 0x3B).empty());  // reading it wrote nothing
    const std::vector<std::uint8_t> file = EncodeBackup(taken);

    RecordingForm form(chip.chipCode);
    ASSERT_TRUE(UpdateFirmware(form, rig.Path()));
    ASSERT_TRUE(RewriteNvramVendorStrings(form, rig.Path(), chip.nvramAddress));
    ASSERT_NE(rig.Bridge().FirmwareVersion(), oldVersion);

    AdaptorBackup loaded;
    ASSERT_EQ(DecodeBackup(file, loaded), "");
    ASSERT_TRUE(RestoreAdaptorBackup(form, rig.Path(), loaded));
    EXPECT_EQ(rig.Bridge().FirmwareVersion(), oldVersion);
    EXPECT_EQ(Area(rig.Bridge(), chip.firmwareArea), oldArea);
    EXPECT_TRUE(std::equal(oldNvram.begin(), oldNvram.end(), rig.Bridge().Nvram().begin()));
  }
}

// A file is judged on its own bytes: anything damaged or foreign is refused, and a backup of the
// other chip never reaches the bridge.
TEST(AdaptorBackup, DamagedForeignAndOtherChipFilesAreRefused) {
  SimRig rig(Bridge(ChipFamily::Kts260));
  AdaptorBackup taken;
  ASSERT_EQ(ReadAdaptorBackup(rig.Path(), 0x16, "now", taken), "");
  const std::vector<std::uint8_t> good = EncodeBackup(taken);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* error;
  };
  std::vector<Case> cases;
  cases.push_back({"truncated", {good.begin(), good.end() - 1}, "sizes"});
  auto altered = good;
  altered[good.size() / 2] ^= 0x01;
  cases.push_back({"altered", altered, "checksum"});
  auto foreign = good;
  foreign[0] = 'X';
  cases.push_back({"foreign", foreign, "not a corvane-update backup"});
  AdaptorBackup wrongArea = taken;
  wrongArea.firmwareArea.resize(kKts210Profile.firmwareArea);
  cases.push_back({"area of another chip", EncodeBackup(wrongArea), "firmware area"});
  cases.push_back({"empty", {}, "not a corvane-update backup"});
  for (const Case& c : cases) {
    AdaptorBackup decoded;
    EXPECT_NE(DecodeBackup(c.bytes, decoded).find(c.error), std::string::npos) << c.what;
  }

  const std::size_t sent = rig.Trace().size();
  RecordingForm sataForm(0x13);
  EXPECT_FALSE(RestoreAdaptorBackup(sataForm, rig.Path(), taken));
  EXPECT_EQ(rig.Trace().size(), sent);
}

}  // namespace
}  // namespace corvane::firmware::testing
