#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "firmware/adaptor_backup.h"
#include "firmware/carried_images.h"
#include "firmware/flash_programming.h"
#include "firmware/nvram_rewrite.h"
#include "sim/bridge_model.h"
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
    EXPECT_TRUE(loaded.simulated);
    // The update rebranded the NVRAM block; a bridge whose INQUIRY follows it named the maker
    // when the backup was taken. Still the same adaptor.
    ASSERT_NE(std::equal(oldNvram.begin(), oldNvram.end(), rig.Bridge().Nvram().begin()), true);
    const std::size_t vendorLine = loaded.identity.find("INQUIRY vendor: Corvane");
    ASSERT_NE(vendorLine, std::string::npos);
    loaded.identity.replace(vendorLine, 23, "INQUIRY vendor: QUORVEL");
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
  auto unknownFlag = good;
  unknownFlag[13] |= 0x80;
  const std::size_t end = good.size() - 4;
  const std::uint32_t crc = Crc32(std::span<const std::uint8_t>(unknownFlag).first(end));
  for (int i = 0; i < 4; ++i) unknownFlag[end + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  cases.push_back({"a flag this version does not know", unknownFlag, "format"});
  for (const Case& c : cases) {
    AdaptorBackup decoded;
    EXPECT_NE(DecodeBackup(c.bytes, decoded).find(c.error), std::string::npos) << c.what;
  }

  const std::size_t sent = rig.Trace().size();
  RecordingForm sataForm(0x13);
  EXPECT_FALSE(RestoreAdaptorBackup(sataForm, rig.Path(), taken));
  EXPECT_EQ(rig.Trace().size(), sent);
}

// A WRITE BUFFER or a chip-memory write: anything that changes the adaptor.
std::size_t WriteCommands(const std::vector<device::TraceEntry>& trace) {
  return Commands(trace, 0x3B).size() +
         std::count_if(trace.begin(), trace.end(), [](const device::TraceEntry& e) {
           return e.cdb.size() == 12 && e.cdb[0] == 0xDF && e.cdb[11] == 0xFB;
         });
}

AdaptorBackup BackupOf(const sim::DeviceConfig& config) {
  SimRig rig(config);
  AdaptorBackup backup;
  EXPECT_EQ(ReadAdaptorBackup(rig.Path(), ChipCodeOf(config.family), "now", backup), "");
  return backup;
}

// Each refusal is decided before the first write command, whoever calls the restore: a blank or
// foreign firmware area, a simulated adaptor's backup or a placeholder on a real one, another
// chip (also when the caller names the backup's chip), another adaptor.
TEST(AdaptorRestore, RefusalsSendNoWriteCommand) {
  const bool placeholders = CarriesPlaceholderImages();
  struct Case {
    const char* what;
    std::function<void(sim::DeviceConfig&)> target;
    std::function<void(AdaptorBackup&)> backup;
    bool realPort;
    RestoreOptions options;
    RestoreVerdict verdict;
    const char* reason;
    std::uint8_t formChip = 0x16;
  };
  const auto none = [](auto&) {};
  const auto fill = [](std::uint8_t byte) {
    return [byte](AdaptorBackup& b) { std::ranges::fill(b.firmwareArea, byte); };
  };
  std::vector<Case> cases = {
      {"all 0xFF", none, fill(0xFF), false, {}, RestoreVerdict::BadFirmwareArea, "all 0xFF"},
      {"all 0x00", none, fill(0x00), false, {}, RestoreVerdict::BadFirmwareArea, "all 0x00"},
      {"bad header", none, [](AdaptorBackup& b) { b.firmwareArea[2] = 0x3D; }, false, {},
       RestoreVerdict::BadFirmwareArea, "header"},
      {"no code marker", none, [](AdaptorBackup& b) { b.firmwareArea[0x203] = 0; }, false, {},
       RestoreVerdict::BadFirmwareArea, "5A C3 69 E1"},
      {"SATA adaptor, caller names the backup's chip",
       [](sim::DeviceConfig& c) { c = Bridge(ChipFamily::Kts210); }, none, false, {},
       RestoreVerdict::OtherChip, "a KTS260 adaptor and this one is a KTS210"},
      {"another adaptor of the model", [](sim::DeviceConfig& c) { c.nvram[0x5B] = '7'; }, none,
       false, {}, RestoreVerdict::OtherAdaptor, "NVRAM block differs from offset 0x05B"},
      {"another product",
       [](sim::DeviceConfig& c) { c.identification.chipInfo->productId = 0x2603; }, none, false,
       {}, RestoreVerdict::OtherAdaptor, "USB ids 0x3C9F:0x2602 in the backup, 0x3C9F:0x2603"},
      {"simulated backup on a real adaptor", none, none, true, {},
       RestoreVerdict::SimulatedOnReal, "simulated adaptor"},
      {"boot-ROM backup of another adaptor", none,
       [](AdaptorBackup& b) { b.firmwareArea.clear(); }, false, {true},
       RestoreVerdict::NothingToWrite, "no firmware area"},
      {"the caller names another chip", none, none, false, {}, RestoreVerdict::Go, "", 0x13},
  };
  if (placeholders) {
    const auto carried = CarriedFirmwareArea(ChipFamily::Kts260);
    cases.push_back({"placeholder image marked real, on a real adaptor", none,
                     [carried](AdaptorBackup& b) {
                       b.simulated = false;
                       b.firmwareArea.assign(carried.begin(), carried.end());
                     },
                     true, {}, RestoreVerdict::BadFirmwareArea, "placeholder image"});
    cases.push_back({"a real backup, this build's placeholders", none,
                     [](AdaptorBackup& b) { b.simulated = false; }, true, {},
                     RestoreVerdict::PlaceholderBuild, "placeholder images"});
  }
  const AdaptorBackup taken = BackupOf(Bridge(ChipFamily::Kts260));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::DeviceConfig config = Bridge(ChipFamily::Kts260);
    c.target(config);
    AdaptorBackup backup = taken;
    c.backup(backup);
    SimRig rig(config);
    rig.port.simulated = !c.realPort;
    const RestorePlan plan = PlanRestore(rig.Path(), backup, c.options);
    EXPECT_EQ(plan.verdict, c.verdict);
    EXPECT_NE(plan.reason.find(c.reason), std::string::npos) << plan.reason;
    RecordingForm form(c.formChip);
    EXPECT_FALSE(RestoreAdaptorBackup(form, rig.Path(), backup, c.options));
    EXPECT_EQ(WriteCommands(rig.Trace()), 0u);
  }
}

}  // namespace
}  // namespace corvane::firmware::testing
