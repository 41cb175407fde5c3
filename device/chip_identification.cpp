#include "device/chip_identification.h"

#include <array>
#include <cstring>
#include <string>

#include "device/aligned_buffer.h"
#include "device/bridge_commands.h"
#include "device/chip_info.h"
#include "device/platform.h"

namespace corvane::device {
namespace {

// Model texts of the chip maker's bridge families by ChipCode. Rows that repeat an earlier text
// are reached only by the explicit assignments below, never by the walk (the first match wins).
constexpr std::array<const char*, 40> kChipTable = {
    "",                                                                  // 0: not identified
    "121", "122", "123", "123", "125", "126", "131", "132", "134", "134",  // 1-10
    "135", "151", "144", "157", "153", "154", "155", "156", "217", "158",  // 11-20
    "159", "260", "135", "131", "134", "134", "131", "134", "134", "152",  // 21-30
    "143", "142", "141", "125", "123", "124", "125", "121", "122",         // 31-39
};

constexpr std::size_t kModelTextLength = 3;

struct LegacyPrefix {
  const char* prefix;
  std::uint8_t chipCode;
};

// Older bridges answer an 8-character id; the first matching prefix, in this order, decides.
constexpr std::array<LegacyPrefix, 7> kLegacyPrefixes = {{
    {"j121C", 1},
    {"j123A3", 4},
    {"j125C", 5},
    {"j125E", 34},
    {"j142A", 32},
    {"j131", 7},
    {"j4135", 11},
}};

constexpr std::uint32_t kInquiryModelOffset = 36;  // "j" then three digits on older bridges
constexpr std::uint32_t kLegacyIdReadLength = 40;
constexpr std::uint32_t kShortChipInfoLength = 12;
constexpr std::uint32_t kProbeB5Length = 512;
constexpr std::uint32_t kDescriptorLength = 4;
// READ BUFFER carries a 24-bit length, so 2^23 is the largest power of two it can ask for.
constexpr std::uint8_t kMaxOffsetBoundaryExponent = 23;
constexpr std::uint32_t kModelAnswerMinimum = 6;

constexpr std::uint8_t kChipCodeBadChipInfo = 8;
constexpr std::uint8_t kChipCodeProbeB5 = 12;
constexpr std::uint8_t kChipCodeAnsweredB5 = 30;
constexpr std::uint8_t kChipCode133 = 9;
constexpr std::uint8_t kChipCodeVendorProduct = 39;
constexpr std::uint8_t kChipCodeIdWordBase = 35;

// First row 1..39 whose three characters equal the text's first three (a NUL ends the text).
std::uint8_t WalkChipTable(const char* text) {
  for (std::size_t code = 1; code < kChipTable.size(); ++code) {
    if (std::strncmp(kChipTable[code], text, kModelTextLength) == 0) {
      return static_cast<std::uint8_t>(code);
    }
  }
  return kChipCodeNone;
}

// Two bytes as "%X%X": upper-case hexadecimal without leading zeros, so 03 C9 reads "3C9".
std::string HexPair(std::uint8_t high, std::uint8_t low) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const std::uint8_t value : {high, low}) {
    if (value >= 0x10) text += kDigits[value >> 4];
    text += kDigits[value & 0x0F];
  }
  return text;
}

// False when INQUIRY itself fails: such a disk is not asked the vendor identification, only the
// legacy id read of the refinement follows.
bool IdentifyByInquiry(std::string_view path, std::uint8_t& code) {
  code = kChipCodeNone;
  std::array<std::uint8_t, kInquiryLength> inquiry{};
  if (ScsiInquiry(path, inquiry.data(), kInquiryLength) == 0) return false;
  if (inquiry[kInquiryModelOffset] != 'j') return true;
  std::array<char, kModelTextLength + 1> model{};
  std::memcpy(model.data(), &inquiry[kInquiryModelOffset + 1], kModelTextLength);
  code = WalkChipTable(model.data());
  if (code == kChipCodeNone && std::strcmp(model.data(), "133") == 0) code = kChipCode133;
  return true;
}

std::uint8_t IdentifyByChipInfo(std::string_view path, const std::uint8_t* idWord) {
  std::array<std::uint8_t, kChipInfoLength> answer{};
  std::uint32_t count = 0;
  if (ReadChipInfo(path, answer.data(), kChipInfoLength, &count) == 0) {
    std::array<std::uint8_t, kChipInfoLength> alt{};
    if (ReadChipInfoAlt(path, alt.data(), kChipInfoLength, &count) == 0) return kChipCodeNone;
    const ChipInfo altInfo = ParseChipInfo(alt);
    if (!altInfo.signature) return kChipCodeNone;
    return WalkChipTable(altInfo.modelText.data());
  }
  const ChipInfo info = ParseChipInfo(answer);
  if (!info.signature) {
    // Bits 5 and 6 of the identification word's first byte tell these bridges apart.
    return static_cast<std::uint8_t>(kChipCodeIdWordBase + ((idWord[0] >> 5) & 3));
  }
  const std::string vendor = HexPair(info.vendorHigh, info.vendorLow);
  const std::string product = HexPair(info.productHigh, info.productLow);
  if (vendor.find("3C9F") != std::string::npos && product.find("5A71") != std::string::npos) {
    return kChipCodeVendorProduct;
  }
  const std::uint8_t code = WalkChipTable(info.modelText.data());
  if (code != kChipCodeNone) return code;
  return info.Model().starts_with("133") ? kChipCode133 : kChipCodeNone;
}

// Bridges that do not answer the identification word describe their model in download buffer 1.
std::uint8_t IdentifyByBuffer(std::string_view path) {
  std::array<std::uint8_t, kDescriptorLength> descriptor{};
  if (ReadBuffer(path, 3, 1, 0, descriptor.data(), kDescriptorLength) == 0) return kChipCodeNone;
  // An offset boundary whose 2^n cannot be asked for is no identification, not a huge read.
  if (descriptor[0] > kMaxOffsetBoundaryExponent) return kChipCodeNone;
  const std::uint32_t length = std::uint32_t{1} << descriptor[0];
  AlignedBlock answer(length);
  if (!answer) return kChipCodeNone;
  if (ReadBuffer(path, 1, 1, 0, answer.data(), length) == 0) return kChipCodeNone;
  if (length < kModelAnswerMinimum) return kChipCodeNone;
  const std::uint8_t* a = answer.data();
  // The first two read the model number as packed decimal digits, the last as characters.
  if (a[4] == 0x01 && a[5] == 0x57) return 14;
  if (a[4] == 0x02 && a[5] == 0x17) return 19;
  if (a[3] == '1' && a[4] == '5' && a[5] == '3') return 15;
  return kChipCodeNone;
}

std::uint8_t IdentifyByVendorCommands(std::string_view path) {
  std::array<std::uint8_t, 2> idWord{};
  if (ReadChipIdWord(path, idWord.data()) == 0) return IdentifyByBuffer(path);
  return IdentifyByChipInfo(path, idWord.data());
}

std::uint8_t RefineLegacy(std::string_view path, std::uint8_t code) {
  std::array<std::uint8_t, kLegacyIdReadLength> answer{};
  if (ReadLegacyChipId(path, answer.data(), kLegacyIdReadLength) == 0) return code;
  for (const LegacyPrefix& legacy : kLegacyPrefixes) {
    if (std::memcmp(answer.data(), legacy.prefix, std::strlen(legacy.prefix)) == 0) {
      return legacy.chipCode;
    }
  }
  return code;
}

void CheckShortChipInfo(std::string_view path) {
  std::array<std::uint8_t, kShortChipInfoLength> info{};
  std::uint32_t count = 0;
  const bool read = ReadChipInfo(path, info.data(), kShortChipInfoLength, &count) != 0;
  const ChipInfo parsed = ParseChipInfo(info);
  const bool usable = read && parsed.signature && (parsed.revision == '1' || parsed.revision == '2');
  if (!usable) ActiveHost().ShowErrorBox("Get chip information fail !", "Error");
}

std::uint8_t Refine(std::string_view path, std::uint8_t code) {
  switch (code) {
    case 0: case 1: case 3: case 5: case 7: case 11: case 32:
      return RefineLegacy(path, code);
    case kChipCodeBadChipInfo:
      CheckShortChipInfo(path);
      return code;
    case kChipCodeProbeB5: {
      std::array<std::uint8_t, kProbeB5Length> answer{};
      // Only whether the family answers B5 at all matters.
      return ProbeVendorB5(path, 0x64, 0x01, answer.data(), kProbeB5Length) != 0
                 ? kChipCodeAnsweredB5
                 : code;
    }
    default:
      return code;
  }
}

}  // namespace

std::uint16_t IdentifyChip(std::string_view path) {
  std::uint8_t code = kChipCodeNone;
  if (IdentifyByInquiry(path, code) && code == kChipCodeNone) {
    code = IdentifyByVendorCommands(path);
  }
  // The high byte (a revision nobody reads) stays 0.
  return Refine(path, code);
}

int CheckBridgeSignature(std::string_view path) {
  std::array<std::uint8_t, kInquiryLength> inquiry{};
  if (ScsiInquiry(path, inquiry.data(), kInquiryLength) == 0) return 0;
  std::array<std::uint8_t, kChipInfoLength> answer{};
  std::uint32_t count = 0;
  if (ReadChipInfo(path, answer.data(), kChipInfoLength, &count) == 0) return 0;
  // The signature, then the chip maker's USB vendor id.
  const ChipInfo info = ParseChipInfo(answer);
  return info.signature && info.VendorId() == kChipMakerVendorId ? 1 : 0;
}

}  // namespace corvane::device
