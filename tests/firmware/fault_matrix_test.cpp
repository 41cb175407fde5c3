// A full update (flash, then NVRAM) with one fault injected at every command index in turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "device/bridge_commands.h"
#include "firmware/carried_images.h"
#include "firmware/flash_programming.h"
#include "firmware/nvram_rewrite.h"
#include "tests/firmware/firmware_test_support.h"

namespace corvane::firmware::testing {
namespace {

using namespace ::corvane::device;

using sim::ChipFamily;
using sim::FaultEffect;

bool FullUpdate(SimRig& rig, ChipFamily family) {
  RecordingForm form(ChipCodeOf(family));
  const std::uint32_t nvram = FindChipProfile(ChipCodeOf(family))->nvramAddress;
  return UpdateFirmware(form, rig.Path()) && RewriteNvramVendorStrings(form, rig.Path(), nvram);
}

// What a successful update leaves behind: the carried firmware area running, and the brand.
bool BridgeIsUpdated(SimRig& rig, ChipFamily family) {
  const ChipProfile* row = FindChipProfile(ChipCodeOf(family));
  const auto area = FindCarriedImage("FW", row->firmwareName).first(row->firmwareArea);
  const auto flash = rig.Bridge().Flash();
  return !rig.Bridge().RomMode() && std::equal(area.begin(), area.end(), flash.begin()) &&
         std::memcmp(rig.Bridge().Nvram().data() + 200, "Corvane ", 8) == 0;
}

struct MatrixCase {
  ChipFamily family;
  bool romMode;
};

TEST(FirmwareFaultMatrix, NeverReportsSuccessForABridgeLeftBehind) {
  const MatrixCase cases[] = {{ChipFamily::Kts260, false}, {ChipFamily::Kts260, true},
                              {ChipFamily::Kts210, false}, {ChipFamily::Kts210, true}};
  const FaultEffect effects[] = {FaultEffect::CheckCondition, FaultEffect::Unplug,
                                 FaultEffect::Timeout};
  int runs = 0, failedAsExpected = 0, recovered = 0, nvmeNotRecovered = 0;
  for (const MatrixCase& c : cases) {
    SimRig clean(Bridge(c.family, c.romMode));
    const bool cleanResult = FullUpdate(clean, c.family);
    // A KTS210 in boot-ROM mode cannot be updated: no manufacturing image is carried for it.
    ASSERT_EQ(cleanResult, !(c.romMode && c.family == ChipFamily::Kts210));
    const std::size_t commands = clean.Trace().size();
    for (std::size_t k = 0; k < commands; ++k) {
      for (FaultEffect effect : effects) {
        SCOPED_TRACE(::testing::Message() << (c.family == ChipFamily::Kts260 ? "KTS260" : "KTS210")
                                        << (c.romMode ? " rom" : "") << " fault after " << k
                                        << " effect " << static_cast<int>(effect));
        sim::Fault fault{"", 0, static_cast<std::uint32_t>(k), effect};
        if (k == 0) fault = {"ReadChipInfo", 1, 0, effect};  // afterCommands counts from 1
        SimRig rig(Bridge(c.family, c.romMode, {fault}));
        ++runs;
        const bool ok = FullUpdate(rig, c.family);
        if (ok) {
          EXPECT_TRUE(BridgeIsUpdated(rig, c.family));
          continue;
        }
        ++failedAsExpected;
        // The user re-plugs the adaptor and tries again; the fault has been spent.
        rig.world.Replug(0);
        if (c.family != ChipFamily::Kts260) continue;
        if (FullUpdate(rig, c.family) && BridgeIsUpdated(rig, c.family)) {
          ++recovered;
        } else {
          ++nvmeNotRecovered;
          ADD_FAILURE() << "the NVMe bridge could not be updated again";
        }
      }
    }
  }
  std::cout << "fault matrix: " << runs << " runs, " << failedAsExpected
            << " failed as expected, " << recovered << " NVMe bridges updated again, "
            << nvmeNotRecovered << " not\n";
  EXPECT_GT(failedAsExpected, 0);
}

}  // namespace
}  // namespace corvane::firmware::testing
