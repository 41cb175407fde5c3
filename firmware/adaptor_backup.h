// A copy of what an update overwrites on an adaptor (its firmware area and its 512-byte NVRAM
// block) with the adaptor's identity: read from the bridge, kept as bytes, and written back.
// The byte layout of a backup file is described in docs/cli.md.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/update_context.h"

namespace corvane::firmware {

inline constexpr std::size_t kBackupHeaderSize = 64;
inline constexpr std::uint16_t kBackupFormatVersion = 1;
inline constexpr std::size_t kBackupMaxIdentityText = 4096;

struct AdaptorBackup {
  std::uint8_t chipCode = 0;
  std::array<std::uint8_t, 4> firmwareVersion{};  // a.b.c.d as the chip information block says
  bool romMode = false;  // the bridge ran its boot ROM: its flash cannot be read, none is kept
  std::uint16_t usbVendor = 0;
  std::uint16_t usbProduct = 0;
  std::uint32_t nvramAddress = 0;
  // The identity as text, one "key: value" line each (chip, firmware, USB ids, INQUIRY, path,
  // time taken), for a person who opens the file and for the tool's messages.
  std::string identity;
  std::vector<std::uint8_t> firmwareArea;  // the chip's firmware area, or empty in boot-ROM mode
  std::array<std::uint8_t, 512> nvram{};

  // The value of one identity line ("" when there is none).
  std::string IdentityValue(std::string_view key) const;
};

// IEEE 802.3 CRC-32 (as zlib computes it).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> EncodeBackup(const AdaptorBackup& backup);
// Checks everything a file can be checked for on its own: magic, format, sizes, checksum, and
// that chip, firmware area and NVRAM address are those of a chip this tool updates. Empty on
// success; otherwise what is wrong, in words.
std::string DecodeBackup(std::span<const std::uint8_t> bytes, AdaptorBackup& backup);

// Reads everything of a backup from the bridge at `path` (chip `chipCode`) without writing:
// chip information, INQUIRY, the download-buffer descriptor and the firmware area through the
// verification's READ BUFFER read-back, and the NVRAM block. `devicePath` and `takenAt` go into
// the identity text. Empty on success; otherwise which read failed, in words.
std::string ReadAdaptorBackup(std::string_view path, std::uint8_t chipCode,
                              std::string_view takenAt, AdaptorBackup& backup);

// Writes a backup back onto the bridge the form's chip code names: the firmware area through the
// chip's writer with the update's read-back and comparison, then the NVRAM block with its
// read-back comparison. A backup of another chip is refused before anything is sent. Failures go
// to form.ReportFailure as the update's do.
bool RestoreAdaptorBackup(UpdateContext& form, std::string_view path, const AdaptorBackup& backup);

}  // namespace corvane::firmware
