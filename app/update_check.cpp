#include "app/update_check.h"

#include <vector>

#include "app/form_texts.h"
#include "device/ascii_text.h"
#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "device/chip_info.h"

namespace corvane::app {

using namespace device;
using firmware::ChipProfile;
using firmware::FindChipProfile;

namespace {

// INQUIRY bytes 8..31 (vendor and product identification) as one NUL-ended text, upper-cased.
std::string IdentificationText(const std::array<std::uint8_t, kInquiryLength>& answer) {
  std::array<char, 25> text{};
  for (std::size_t i = 0; i < 24; ++i) text[i] = static_cast<char>(answer[8 + i]);
  UpperCaseAscii(text.data());
  return std::string(text.data());
}

}  // namespace

VersionVerdict DecideVersion(std::uint8_t chipCode, std::span<const std::uint8_t, 16> chipInfo) {
  const ChipProfile* chip = FindChipProfile(chipCode);
  if (chip == nullptr) return VersionVerdict::Unlisted;
  return chip->decideVersion(ParseChipInfo(chipInfo));
}

UpdateCheckResult RunUpdateCheck(std::string_view path, const UpdateCheckHooks& hooks) {
  UpdateCheckResult result;
  result.kind = CheckResultKind::NotSupported;
  const auto fail = [&result](CheckGate gate) {
    if (result.failedGate == CheckGate::None) result.failedGate = gate;
  };

  result.path = std::string(path);
  result.chipId = IdentifyChip(path);
  result.chipCode = ChipCodeOf(result.chipId);
  const ChipProfile* chip = FindChipProfile(result.chipCode);
  if (chip == nullptr) {
    fail(CheckGate::ChipCode);
    return result;
  }

  std::array<std::uint8_t, 4> flashType{};
  if (ReadFlashType(path, flashType.data()) == 0) fail(CheckGate::FlashType);

  if (hooks.checking) hooks.checking();
  if (result.failedGate != CheckGate::None) return result;

  std::uint32_t count = 0;
  if (ReadChipInfo(path, result.chipInfo.data(), kChipInfoLength, &count) == 0) {
    fail(CheckGate::ChipInfo);
    return result;
  }
  const ChipInfo info = ParseChipInfo(result.chipInfo);
  if (!info.signature) {
    fail(CheckGate::Signature);
    return result;
  }
  result.chipInfoRead = true;
  result.version = info.version;
  result.romMode = info.RunsBootRom();

  // The SATA bridge cannot be updated from its boot ROM.
  if (!chip->updatableFromBootRom && result.romMode) {
    fail(CheckGate::BootRom);
    return result;
  }

  // The vendor-string block is read only to prove that it can be read; a failure here does not
  // stop the version from being judged.
  WaitBridgeReady(path);
  std::vector<std::uint8_t> nvram(kNvramBlockLength);
  if (ReadChipMemory(path, chip->nvramAddress, nvram.data(), kNvramBlockLength) == 0) {
    fail(CheckGate::NvramRead);
  }

  std::array<std::uint8_t, kInquiryLength> inquiry{};
  if (ScsiInquiry(path, inquiry.data(), kInquiryLength) == 0) {
    fail(CheckGate::Inquiry);
    return result;
  }
  result.identification = IdentificationText(inquiry);
  if (result.identification.find(kExcludedProductLine) != std::string::npos) {
    fail(CheckGate::Volant);
    return result;
  }

  result.verdict = chip->decideVersion(info);
  if (result.failedGate != CheckGate::None) return result;
  switch (*result.verdict) {
    case VersionVerdict::Current:
      result.kind = CheckResultKind::Current;
      break;
    case VersionVerdict::UpdateOffered:
      result.kind = CheckResultKind::UpdateOffered;
      break;
    case VersionVerdict::Unlisted:
      result.kind = CheckResultKind::Unlisted;
      break;
  }
  return result;
}

std::string_view CheckResultStatusText(CheckResultKind kind, std::uint8_t chipCode) {
  switch (kind) {
    case CheckResultKind::Current:
      return kStatusCurrent;
    case CheckResultKind::UpdateOffered: {
      const ChipProfile* chip = FindChipProfile(chipCode);
      return chip != nullptr ? chip->offerText : std::string_view();
    }
    case CheckResultKind::Unlisted:
    case CheckResultKind::NotSupported:
      return kStatusNoDevice;
    case CheckResultKind::NoDevice:
      break;
  }
  return {};
}

std::string_view CheckResultPicture(CheckResultKind kind) {
  switch (kind) {
    case CheckResultKind::Current:
      return kPictureGood;
    case CheckResultKind::UpdateOffered:
      return kPictureUpdate;
    case CheckResultKind::Unlisted:
    case CheckResultKind::NotSupported:
      return kPictureCross;
    case CheckResultKind::NoDevice:
      break;
  }
  return {};
}

std::string_view CheckGateName(CheckGate gate) {
  switch (gate) {
    case CheckGate::None:
      return "none";
    case CheckGate::ChipCode:
      return "chip-code";
    case CheckGate::FlashType:
      return "flash-type";
    case CheckGate::ChipInfo:
      return "chip-info";
    case CheckGate::Signature:
      return "signature";
    case CheckGate::BootRom:
      return "boot-rom";
    case CheckGate::NvramRead:
      return "nvram-read";
    case CheckGate::Inquiry:
      return "inquiry";
    case CheckGate::Volant:
      return "volant";
  }
  return "none";
}

}  // namespace corvane::app
