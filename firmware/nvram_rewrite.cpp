// Rebranding the bridge: the maker's name in the three identification fields of the NVRAM block
// becomes the brand; the rest of the block goes back as it was read.
#include "firmware/nvram_rewrite.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "device/ascii_text.h"
#include "device/bridge_commands.h"
#include "device/platform.h"
#include "firmware/chip_profiles.h"

namespace corvane::firmware {
namespace {

using device::ActiveHost;
using device::kNvramBlockLength;
using device::ReadChipMemory;
using device::WaitBridgeReady;
using device::WriteChipMemory;

constexpr std::array<std::uint32_t, 3> kIdentificationFields{200, 208, 216};
constexpr std::size_t kFieldWidth = 8;
constexpr char kMakerName[] = "QUORVEL";  // searched for, after upper-casing the field
constexpr char kBrand[] = "Corvane";      // written in its place, same length, no terminator
constexpr std::uint8_t kSubCodeNvram = 1;

using NvramBlock = std::array<std::uint8_t, kNvramBlockLength>;

}  // namespace

void RebrandNvramBlock(std::span<std::uint8_t, 512> work) {
  // Each field text is upper-cased and searched as a NUL-terminated text, so the search ignores
  // the case of a-z and stops at the first zero byte of the field.
  std::array<std::array<char, kFieldWidth + 1>, kIdentificationFields.size()> texts{};
  for (std::size_t f = 0; f < kIdentificationFields.size(); ++f) {
    std::memcpy(texts[f].data(), work.data() + kIdentificationFields[f], kFieldWidth);
    device::UpperCaseAscii(texts[f].data());
  }
  for (std::size_t f = 0; f < kIdentificationFields.size(); ++f) {
    const char* found = std::strstr(texts[f].data(), kMakerName);
    if (found == nullptr) continue;
    const auto position = static_cast<std::size_t>(found - texts[f].data());
    std::memcpy(work.data() + kIdentificationFields[f] + position, kBrand, sizeof kBrand - 1);
  }
}

bool WriteNvramBlock(UpdateContext& form, std::string_view path, std::uint32_t nvramAddress,
                     std::span<const std::uint8_t, 512> block) {
  NvramBlock verify{};
  WaitBridgeReady(path);
  if (WriteChipMemory(path, nvramAddress, block.data(), kNvramBlockLength, kSubCodeNvram) == 0) {
    ActiveHost().DebugOutput("Set NVRAM Fail.");
    form.ReportFailure({UpdateStep::NvramWrite});
    return false;
  }
  WaitBridgeReady(path);
  if (ReadChipMemory(path, nvramAddress, verify.data(), kNvramBlockLength) == 0) {
    ActiveHost().DebugOutput("Get NVRAM Fail.");
    form.ReportFailure({UpdateStep::NvramReadBack});
    return false;
  }
  const auto differs = std::mismatch(block.begin(), block.end(), verify.begin());
  if (differs.first != block.end()) {
    ActiveHost().DebugOutput("Compare Fail.");
    form.ReportFailure(
        {UpdateStep::NvramMismatch, static_cast<std::uint32_t>(differs.first - block.begin())});
    return false;
  }
  return true;
}

bool RewriteNvramVendorStrings(UpdateContext& form, std::string_view path,
                               std::uint32_t nvramAddress) {
  const std::uint8_t chipCode = form.ChipCode();
  NvramBlock read{};
  NvramBlock work{};

  // The wait's own result is not needed: a bridge that stays busy fails the read that follows.
  WaitBridgeReady(path);
  if (ReadChipMemory(path, nvramAddress, read.data(), kNvramBlockLength) == 0) {
    ActiveHost().DebugOutput("Get NVRAM Fail.");
    form.ReportFailure({UpdateStep::NvramRead});
    return false;
  }
  work = read;
  RebrandNvramBlock(work);

  // Only the updatable chips keep their NVRAM at the addresses this tool knows.
  if (FindChipProfile(chipCode) == nullptr) return true;
  return WriteNvramBlock(form, path, nvramAddress, work);
}

}  // namespace corvane::firmware
