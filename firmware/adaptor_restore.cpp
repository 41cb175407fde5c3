// Whether a backup may be written onto an adaptor, and the writing itself. Every check here runs
// before the first write command, whoever calls the restore.
#include <algorithm>
#include <cstdio>

#include "device/ascii_text.h"
#include "device/platform.h"
#include "firmware/adaptor_backup.h"
#include "firmware/chip_profiles.h"
#include "firmware/flash_programming.h"
#include "firmware/image_layout.h"
#include "firmware/nvram_rewrite.h"

namespace corvane::firmware {
namespace {

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string ChipName(std::uint8_t chipCode) {
  const ChipProfile* chip = FindChipProfile(chipCode);
  return chip != nullptr ? std::string(chip->chipName) : "ChipCode " + Hex(chipCode, 2);
}

// A text as an update leaves it: the maker's name, in any case, is the brand. INQUIRY texts follow
// the NVRAM block's rebranding, so a backup taken before an update still names this adaptor.
std::string RebrandedKey(std::string text) {
  device::UpperCaseAscii(text.data());
  for (std::size_t at = text.find("QUORVEL"); at != std::string::npos;
       at = text.find("QUORVEL", at)) {
    text.replace(at, 7, "CORVANE");
  }
  return text;
}

// Where the adaptor's identity differs from the backup's, in words; empty when it is the same.
std::string IdentityDifferences(const AdaptorIdentity& adaptor, const AdaptorBackup& backup) {
  std::vector<std::string> found;
  if (adaptor.usbVendor != backup.usbVendor || adaptor.usbProduct != backup.usbProduct) {
    found.push_back("USB ids " + Hex(backup.usbVendor, 4) + ":" + Hex(backup.usbProduct, 4) +
                    " in the backup, " + Hex(adaptor.usbVendor, 4) + ":" +
                    Hex(adaptor.usbProduct, 4) + " on this adaptor");
  }
  const struct {
    const char* key;
    const std::string& own;
  } texts[] = {{"INQUIRY vendor", adaptor.inquiryVendor},
               {"INQUIRY product", adaptor.inquiryProduct}};
  for (const auto& text : texts) {
    const std::string saved = backup.IdentityValue(text.key);
    if (RebrandedKey(saved) != RebrandedKey(text.own)) {
      found.push_back(std::string(text.key) + " \"" + saved + "\" in the backup, \"" + text.own +
                      "\" on this adaptor");
    }
  }
  // No field of the block is known to hold a serial number: whatever tells one adaptor from
  // another of the same model lies somewhere in it, and only the rebranding ever changes it.
  std::array<std::uint8_t, 512> own = adaptor.nvram;
  std::array<std::uint8_t, 512> saved = backup.nvram;
  RebrandNvramBlock(own);
  RebrandNvramBlock(saved);
  const auto differs = std::mismatch(saved.begin(), saved.end(), own.begin());
  if (differs.first != saved.end()) {
    found.push_back("the NVRAM block differs from offset " +
                    Hex(static_cast<std::uint32_t>(differs.first - saved.begin()), 3));
  }
  std::string text;
  for (const std::string& difference : found) text += (text.empty() ? "" : "; ") + difference;
  return text;
}

RestorePlan Refuse(RestoreVerdict verdict, std::string reason) {
  RestorePlan plan;
  plan.verdict = verdict;
  plan.reason = std::move(reason);
  return plan;
}

}  // namespace

RestorePlan PlanRestore(std::string_view path, const AdaptorBackup& backup,
                        const RestoreOptions& options) {
  // First what the backup and this build are, without a command to the adaptor.
  const bool real = !AdaptorIsSimulated();
  if (backup.simulated && real) {
    return Refuse(RestoreVerdict::SimulatedOnReal,
                  "the backup was taken from a simulated adaptor and this adaptor is real");
  }
  if (!backup.firmwareArea.empty()) {
    if (std::string problem = FirmwareAreaProblem(backup.firmwareArea); !problem.empty()) {
      return Refuse(RestoreVerdict::BadFirmwareArea, std::move(problem));
    }
    if (real && IsPlaceholderFirmwareArea(backup.firmwareArea)) {
      return Refuse(RestoreVerdict::BadFirmwareArea,
                    "the firmware area is a placeholder image, which no real bridge can run");
    }
  }
  if (PlaceholderImagesBlockWrite()) {
    return Refuse(RestoreVerdict::PlaceholderBuild,
                  "this build carries placeholder images and writes nothing into a real adaptor");
  }
  if (options.fromOtherAdaptor && backup.firmwareArea.empty()) {
    return Refuse(RestoreVerdict::NothingToWrite,
                  "the backup holds no firmware area (its bridge ran its boot ROM), and of "
                  "another adaptor's backup only the firmware area is written");
  }

  // Then the adaptor itself, as the bridge answers now.
  AdaptorIdentity adaptor;
  if (std::string error = ReadAdaptorIdentity(path, adaptor); !error.empty()) {
    return Refuse(RestoreVerdict::Unreadable,
                  "the adaptor could not be identified (" + error + ")");
  }
  if (adaptor.chipCode != backup.chipCode) {
    return Refuse(RestoreVerdict::OtherChip, "the backup is of a " + ChipName(backup.chipCode) +
                                                 " adaptor and this one is a " +
                                                 ChipName(adaptor.chipCode));
  }
  RestorePlan plan;
  if (!options.fromOtherAdaptor) {
    if (std::string differences = IdentityDifferences(adaptor, backup); !differences.empty()) {
      return Refuse(RestoreVerdict::OtherAdaptor,
                    "the backup was taken from another adaptor (" + differences + ")");
    }
  } else {
    plan.notes.push_back(
        "only the backup's firmware area is written; this adaptor keeps its own "
        "NVRAM block");
  }
  if (!backup.simulated && adaptor.simulated) {
    plan.notes.push_back(
        "the backup was taken from a real adaptor and is written to a simulated one");
  }
  plan.verdict = RestoreVerdict::Go;
  plan.writeFirmwareArea = !backup.firmwareArea.empty();
  plan.writeNvram = !options.fromOtherAdaptor;
  return plan;
}

bool RestoreAdaptorBackup(UpdateContext& form, std::string_view path, const AdaptorBackup& backup,
                          const RestoreOptions& options) {
  // The form's chip chooses the writer and addresses below: it must be the backup's, and the plan
  // then finds it to be the adaptor's own as well.
  const RestorePlan plan = form.ChipCode() == backup.chipCode
                               ? PlanRestore(path, backup, options)
                               : Refuse(RestoreVerdict::OtherChip, "the caller names another chip");
  if (plan.verdict != RestoreVerdict::Go) {
    device::ActiveHost().DebugOutput("Restore refused: " + plan.reason);
    form.ReportFailure({UpdateStep::RestoreRefused});
    return false;
  }
  if (plan.writeFirmwareArea && !RestoreFirmwareArea(form, path, backup.firmwareArea)) return false;
  if (!plan.writeNvram) return true;
  return WriteNvramBlock(form, path, FindChipProfile(backup.chipCode)->nvramAddress, backup.nvram);
}

}  // namespace corvane::firmware
