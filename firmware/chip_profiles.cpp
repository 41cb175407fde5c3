// The per-chip pieces the profile table points at: the version rules and the adapters that give
// the manufacturing loaders and the SATA writer one shape.
#include "firmware/chip_profiles.h"

namespace corvane::firmware::detail {
namespace {

bool IsOneOrTwo(std::uint8_t value) { return value == 1 || value == 2; }

}  // namespace

std::uint32_t LoadSataManufacturing(std::uint8_t* destination, std::uint32_t length,
                                    int selector) {
  return LoadRom0MfgImage(destination, 0, length, selector);
}

std::uint32_t LoadNvmeManufacturing(std::uint8_t* destination, std::uint32_t length, int) {
  return LoadRomMfgImage(destination, 0, length);
}

bool WriteSataBridgeFlashForUpdate(UpdateContext& form, std::string_view path,
                                   std::uint32_t flashOffset, const std::uint8_t* image,
                                   std::uint32_t length, bool romMode) {
  return WriteSataBridgeFlash(form, path, flashOffset, image, length, romMode, 0);
}

VersionVerdict DecideSataBridgeVersion(const device::ChipInfo& info) {
  const auto [a, b, c, d] = info.version;
  // Firmware 02.14 is 0.2.1.4; every other version of the SATA bridge is offered the update.
  if (a == 0 && IsOneOrTwo(b) && c == 1 && d >= 4) return VersionVerdict::Current;
  return VersionVerdict::UpdateOffered;
}

VersionVerdict DecideNvmeBridgeVersion(const device::ChipInfo& info) {
  const auto [a, b, c, d] = info.version;
  // First match wins: an old firmware line, then a bridge stuck in its boot ROM whatever it
  // reports, then the newer firmware lines.
  if (a == 0 && IsOneOrTwo(b) && c == 0 && d <= 8) return VersionVerdict::UpdateOffered;
  if (info.RunsBootRom()) return VersionVerdict::UpdateOffered;
  if (a == 0 && IsOneOrTwo(b) && c == 0 && d >= 9) return VersionVerdict::Current;
  if (a == 234 && b == 1 && c == 0 && d == 1) return VersionVerdict::Current;
  return VersionVerdict::Unlisted;
}

}  // namespace corvane::firmware::detail
