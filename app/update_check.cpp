#include "app/update_check.h"

#include <vector>

#include "app/form_texts.h"
#include "device/ascii_text.h"
#include "device/bridge_commands.h"
#include "device/chip_identification.h"

namespace corvane::app {
namespace {

bool IsOneOrTwo(std::uint8_t value) { return value == 1 || value == 2; }

// INQUIRY bytes 8..31 (vendor and product identification) as one NUL-ended text, upper-cased.
std::string IdentificationText(const std::array<std::uint8_t, kInquiryLength>& answer) {
  std::array<char, 25> text{};
  for (std::size_t i = 0; i < 24; ++i) text[i] = static_cast<char>(answer[8 + i]);
  UpperCaseAscii(text.data());
  return std::string(text.data());
}

}  // namespace

VersionVerdict DecideVersion(std::uint8_t chipCode, std::span<const std::uint8_t, 16> chipInfo) {
  const std::uint8_t a = chipInfo[12], b = chipInfo[13], c = chipInfo[14], d = chipInfo[15];
  const bool bootRom = chipInfo[6] == 0;
  if (chipCode == kChipCodeKts210) {
    // Firmware 02.14 is 0.2.1.4; every other version of the SATA bridge is offered the update.
    if (a == 0 && IsOneOrTwo(b) && c == 1 && d >= 4) return VersionVerdict::Current;
    return VersionVerdict::UpdateOffered;
  }
  if (chipCode == kChipCodeKts260) {
    // First match wins: an old firmware line, then a bridge stuck in its boot ROM whatever it
    // reports, then the newer firmware lines.
    if (a == 0 && IsOneOrTwo(b) && c == 0 && d <= 8) return VersionVerdict::UpdateOffered;
    if (bootRom) return VersionVerdict::UpdateOffered;
    if (a == 0 && IsOneOrTwo(b) && c == 0 && d >= 9) return VersionVerdict::Current;
    if (a == 234 && b == 1 && c == 0 && d == 1) return VersionVerdict::Current;
    return VersionVerdict::Unlisted;
  }
  return VersionVerdict::Unlisted;
}

UpdateCheckResult RunUpdateCheck(std::string_view path, const UpdateCheckHooks& hooks) {
  UpdateCheckResult result;
  result.kind = CheckResultKind::NotSupported;
  const auto fail = [&result](CheckGate gate) {
    if (result.failedGate == CheckGate::None) result.failedGate = gate;
  };

  result.chipId = IdentifyChip(path);
  result.chipCode = ChipCodeOf(result.chipId);
  if (result.chipCode != kChipCodeKts210 && result.chipCode != kChipCodeKts260) {
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
  if (result.chipInfo[0] != 0xF4 || result.chipInfo[1] != 0xE7) {
    fail(CheckGate::Signature);
    return result;
  }
  result.chipInfoRead = true;
  for (std::size_t i = 0; i < 4; ++i) result.version[i] = result.chipInfo[12 + i];
  result.romMode = result.chipInfo[6] == 0;

  // The SATA bridge cannot be updated from its boot ROM.
  if (result.chipCode == kChipCodeKts210 && result.romMode) {
    fail(CheckGate::BootRom);
    return result;
  }

  // The vendor-string block is read only to prove that it can be read; a failure here does not
  // stop the version from being judged.
  WaitBridgeReady(path);
  std::vector<std::uint8_t> nvram(kNvramBlockLength);
  if (ReadChipMemory(path, NvramAddressFor(result.chipCode), nvram.data(), kNvramBlockLength) ==
      0) {
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

  result.verdict = DecideVersion(result.chipCode, result.chipInfo);
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
    case CheckResultKind::UpdateOffered:
      return chipCode == kChipCodeKts210 ? kStatusOfferSata : kStatusOfferNvme;
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

std::string_view CheckResultKindName(CheckResultKind kind) {
  switch (kind) {
    case CheckResultKind::NoDevice:
      return "no-device";
    case CheckResultKind::Current:
      return "current";
    case CheckResultKind::UpdateOffered:
      return "update-offered";
    case CheckResultKind::Unlisted:
      return "unlisted-version";
    case CheckResultKind::NotSupported:
      return "not-supported";
  }
  return "not-supported";
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

std::uint32_t NvramAddressFor(std::uint8_t chipCode) {
  if (chipCode == kChipCodeKts210) return kNvramAddressKts210;
  if (chipCode == kChipCodeKts260) return kNvramAddressKts260;
  return 0;
}

}  // namespace corvane::app
