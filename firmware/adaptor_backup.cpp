#include "firmware/adaptor_backup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/aligned_buffer.h"
#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "device/chip_info.h"
#include "firmware/buffer_descriptor.h"
#include "firmware/chip_profiles.h"
#include "firmware/flash_programming.h"
#include "firmware/nvram_rewrite.h"

namespace corvane::firmware {
namespace {

constexpr char kMagic[8] = {'C', 'V', 'U', 'P', 'B', 'A', 'C', 'K'};
constexpr std::uint8_t kFlagBootRom = 0x01;
constexpr std::uint8_t kFlagSimulated = 0x02;
constexpr std::uint8_t kKnownFlags = kFlagBootRom | kFlagSimulated;

// Header fields (little-endian), see docs/cli.md.
constexpr std::size_t kAtFormat = 8, kAtHeaderSize = 10, kAtChipCode = 12, kAtFlags = 13,
                      kAtUsbVendor = 14, kAtUsbProduct = 16, kAtVersion = 18,
                      kAtFirmwareLength = 24, kAtNvramAddress = 28, kAtNvramLength = 32,
                      kAtIdentityLength = 36;

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
std::uint32_t Get16(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8;
}
std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at) {
  return Get16(b, at) | Get16(b, at + 2) << 16;
}

// INQUIRY bytes [begin, end) without the padding the device puts behind them.
std::string InquiryField(const std::uint8_t* answer, std::size_t begin, std::size_t end) {
  std::string text;
  for (std::size_t i = begin; i < end && answer[i] != 0; ++i) {
    const char c = static_cast<char>(answer[i]);
    text.push_back(c >= 0x20 && c < 0x7F ? c : '?');
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string Hex16(std::uint32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

std::string AdaptorBackup::IdentityValue(std::string_view key) const {
  std::string_view rest = identity;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    if (line.size() > key.size() + 1 && line.starts_with(key) && line[key.size()] == ':') {
      std::string_view value = line.substr(key.size() + 1);
      while (value.starts_with(' ')) value.remove_prefix(1);
      // The text comes from a file: nothing in it may steer the terminal it is shown on.
      std::string text(value);
      for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
      }
      return text;
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return {};
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::vector<std::uint8_t> EncodeBackup(const AdaptorBackup& backup) {
  const std::string identity = backup.identity.substr(0, kBackupMaxIdentityText);
  // Sized once and filled in place (GCC 12 warns falsely about inserts into a grown vector).
  const std::size_t total =
      kBackupHeaderSize + identity.size() + backup.firmwareArea.size() + backup.nvram.size() + 4;
  std::vector<std::uint8_t> bytes(total, 0);
  std::memcpy(bytes.data(), kMagic, sizeof kMagic);
  Put16(bytes, kAtFormat, kBackupFormatVersion);
  Put16(bytes, kAtHeaderSize, kBackupHeaderSize);
  bytes[kAtChipCode] = backup.chipCode;
  bytes[kAtFlags] = static_cast<std::uint8_t>((backup.romMode ? kFlagBootRom : 0) |
                                              (backup.simulated ? kFlagSimulated : 0));
  Put16(bytes, kAtUsbVendor, backup.usbVendor);
  Put16(bytes, kAtUsbProduct, backup.usbProduct);
  std::copy(backup.firmwareVersion.begin(), backup.firmwareVersion.end(),
            bytes.begin() + kAtVersion);
  Put32(bytes, kAtFirmwareLength, static_cast<std::uint32_t>(backup.firmwareArea.size()));
  Put32(bytes, kAtNvramAddress, backup.nvramAddress);
  Put32(bytes, kAtNvramLength, static_cast<std::uint32_t>(backup.nvram.size()));
  Put32(bytes, kAtIdentityLength, static_cast<std::uint32_t>(identity.size()));
  std::uint8_t* at = bytes.data() + kBackupHeaderSize;
  if (!identity.empty()) std::memcpy(at, identity.data(), identity.size());
  at += identity.size();
  if (!backup.firmwareArea.empty()) {
    std::memcpy(at, backup.firmwareArea.data(), backup.firmwareArea.size());
  }
  at += backup.firmwareArea.size();
  std::memcpy(at, backup.nvram.data(), backup.nvram.size());
  Put32(bytes, total - 4, Crc32(std::span<const std::uint8_t>(bytes).first(total - 4)));
  return bytes;
}

std::string DecodeBackup(std::span<const std::uint8_t> bytes, AdaptorBackup& backup) {
  if (bytes.size() < kBackupHeaderSize + 4 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    return "not a corvane-update backup file";
  }
  // A flag this version does not know may change what the file means: it is not guessed at.
  if (Get16(bytes, kAtFormat) != kBackupFormatVersion ||
      Get16(bytes, kAtHeaderSize) != kBackupHeaderSize || (bytes[kAtFlags] & ~kKnownFlags) != 0) {
    return "a backup format this version of the tool does not read";
  }
  const std::uint64_t firmwareLength = Get32(bytes, kAtFirmwareLength);
  const std::uint64_t nvramLength = Get32(bytes, kAtNvramLength);
  const std::uint64_t identityLength = Get32(bytes, kAtIdentityLength);
  if (nvramLength != backup.nvram.size() || identityLength > kBackupMaxIdentityText ||
      kBackupHeaderSize + identityLength + firmwareLength + nvramLength + 4 != bytes.size()) {
    return "the file's sizes do not add up (truncated or damaged)";
  }
  if (Crc32(bytes.first(bytes.size() - 4)) != Get32(bytes, bytes.size() - 4)) {
    return "the file's checksum does not match its contents (damaged or altered)";
  }
  const std::uint8_t chipCode = bytes[kAtChipCode];
  const ChipProfile* chip = FindChipProfile(chipCode);
  const bool romMode = (bytes[kAtFlags] & kFlagBootRom) != 0;
  if (chip == nullptr) return "a backup of a chip this tool does not update";
  if (firmwareLength != (romMode ? 0 : chip->firmwareArea) ||
      Get32(bytes, kAtNvramAddress) != chip->nvramAddress) {
    return "the firmware area or NVRAM address is not that of a " + std::string(chip->chipName);
  }

  AdaptorBackup decoded;
  decoded.chipCode = chipCode;
  decoded.romMode = romMode;
  decoded.simulated = (bytes[kAtFlags] & kFlagSimulated) != 0;
  decoded.usbVendor = static_cast<std::uint16_t>(Get16(bytes, kAtUsbVendor));
  decoded.usbProduct = static_cast<std::uint16_t>(Get16(bytes, kAtUsbProduct));
  std::copy_n(bytes.begin() + kAtVersion, 4, decoded.firmwareVersion.begin());
  decoded.nvramAddress = chip->nvramAddress;
  auto at = bytes.begin() + kBackupHeaderSize;
  decoded.identity.assign(at, at + static_cast<std::ptrdiff_t>(identityLength));
  at += static_cast<std::ptrdiff_t>(identityLength);
  decoded.firmwareArea.assign(at, at + static_cast<std::ptrdiff_t>(firmwareLength));
  at += static_cast<std::ptrdiff_t>(firmwareLength);
  std::copy_n(at, decoded.nvram.size(), decoded.nvram.begin());
  backup = std::move(decoded);
  return {};
}

namespace {

// The chip information of the bridge at `path`, which must carry the bridge's signature; empty when
// it does, else what went wrong.
std::string ReadSignedChipInfo(std::string_view path, device::ChipInfo& info) {
  std::array<std::uint8_t, device::kChipInfoLength> infoBytes{};
  std::uint32_t count = 0;
  if (device::ReadChipInfo(path, infoBytes.data(), device::kChipInfoLength, &count) == 0) {
    return "the chip information could not be read";
  }
  info = device::ParseChipInfo(infoBytes);
  if (!info.signature) return "the chip information does not carry the bridge's signature";
  return {};
}

}  // namespace

std::string ReadAdaptorBackup(std::string_view path, std::uint8_t chipCode,
                              std::string_view takenAt, AdaptorBackup& backup) {
  const ChipProfile* chip = FindChipProfile(chipCode);
  if (chip == nullptr) return "the adaptor's chip is not one this tool updates";
  AdaptorBackup read;
  read.chipCode = chipCode;
  read.nvramAddress = chip->nvramAddress;
  read.simulated = AdaptorIsSimulated();

  device::ChipInfo info;
  if (std::string problem = ReadSignedChipInfo(path, info); !problem.empty()) return problem;
  read.firmwareVersion = info.version;
  read.romMode = info.RunsBootRom();
  read.usbVendor = info.VendorId();
  read.usbProduct = info.ProductId();

  std::array<std::uint8_t, device::kInquiryLength> inquiry{};
  if (device::ScsiInquiry(path, inquiry.data(), device::kInquiryLength) == 0) {
    return "the INQUIRY data could not be read";
  }

  if (!read.romMode) {
    // The boot ROM cannot read the flash back; a running bridge shows its firmware area.
    BufferDescriptor descriptor;
    if (!ReadBufferDescriptor(path, descriptor) || descriptor.offsetBoundary != kBoundaryRunning) {
      return "the download buffer descriptor was missing or unexpected";
    }
    if (descriptor.capacity < chip->firmwareArea) {
      return "the bridge's buffer shows less than its firmware area";
    }
    read.firmwareArea.assign(chip->firmwareArea, 0);
    if (!ReadBackFlash(path, 0, read.firmwareArea.data(), chip->firmwareArea)) {
      return "the firmware area could not be read back";
    }
  }
  device::WaitBridgeReady(path);
  if (device::ReadChipMemory(path, chip->nvramAddress, read.nvram.data(),
                             device::kNvramBlockLength) == 0) {
    return "the NVRAM block could not be read";
  }

  char version[24];
  std::snprintf(version, sizeof version, "%u.%u.%u.%u", info.version[0], info.version[1],
                info.version[2], info.version[3]);
  read.identity = "chip: " + std::string(chip->chipName) + "\n" + "firmware: " + version + "\n" +
                  "boot ROM: " + (read.romMode ? "yes" : "no") + "\n" +
                  "USB vendor: " + Hex16(read.usbVendor) + "\n" +
                  "USB product: " + Hex16(read.usbProduct) + "\n" +
                  "INQUIRY vendor: " + InquiryField(inquiry.data(), 8, 16) + "\n" +
                  "INQUIRY product: " + InquiryField(inquiry.data(), 16, 32) + "\n" +
                  "INQUIRY revision: " + InquiryField(inquiry.data(), 32, 36) + "\n" +
                  "path: " + std::string(path) + "\n" + "taken: " + std::string(takenAt) + "\n" +
                  "simulated: " + (read.simulated ? "yes" : "no") + "\n";
  backup = std::move(read);
  return {};
}

std::string ReadAdaptorIdentity(std::string_view path, AdaptorIdentity& identity) {
  AdaptorIdentity read;
  read.simulated = AdaptorIsSimulated();
  read.chipCode = device::ChipCodeOf(device::IdentifyChip(path));
  const ChipProfile* chip = FindChipProfile(read.chipCode);
  if (chip == nullptr) return "the adaptor's chip is not one this tool updates";

  device::ChipInfo info;
  if (std::string problem = ReadSignedChipInfo(path, info); !problem.empty()) return problem;
  read.usbVendor = info.VendorId();
  read.usbProduct = info.ProductId();

  std::array<std::uint8_t, device::kInquiryLength> inquiry{};
  if (device::ScsiInquiry(path, inquiry.data(), device::kInquiryLength) == 0) {
    return "the INQUIRY data could not be read";
  }
  read.inquiryVendor = InquiryField(inquiry.data(), 8, 16);
  read.inquiryProduct = InquiryField(inquiry.data(), 16, 32);

  device::WaitBridgeReady(path);
  if (device::ReadChipMemory(path, chip->nvramAddress, read.nvram.data(),
                             device::kNvramBlockLength) == 0) {
    return "the NVRAM block could not be read";
  }
  identity = std::move(read);
  return {};
}

}  // namespace corvane::firmware
