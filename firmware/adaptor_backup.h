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
  // Taken from a simulated adaptor: its firmware area may be placeholder filler that no real
  // bridge can run. Files without the mark read as taken from a real adaptor.
  bool simulated = false;
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

// What an adaptor says it is, read from the bridge without writing anything.
struct AdaptorIdentity {
  std::uint8_t chipCode = 0;  // as the chip identification names it
  std::uint16_t usbVendor = 0;
  std::uint16_t usbProduct = 0;
  std::string inquiryVendor;   // as a backup's identity text keeps it
  std::string inquiryProduct;
  std::array<std::uint8_t, 512> nvram{};
  bool simulated = false;  // the adaptor is one of the simulator's
};

// Reads the identity of the adaptor at `path`; empty on success, otherwise which read failed.
std::string ReadAdaptorIdentity(std::string_view path, AdaptorIdentity& identity);

struct RestoreOptions {
  // The user named the backup as possibly another adaptor's: only its firmware area is written,
  // and the adaptor keeps its own NVRAM block (its identity).
  bool fromOtherAdaptor = false;
};

enum class RestoreVerdict {
  Go,
  SimulatedOnReal,   // a simulated adaptor's backup, and this adaptor is real
  BadFirmwareArea,   // blank, not laid out as a firmware image, or placeholder filler on a real one
  PlaceholderBuild,  // this build carries placeholder images and the adaptor is real
  NothingToWrite,    // --from-other-adaptor with a backup that holds no firmware area
  Unreadable,        // the adaptor's own identity could not be read
  OtherChip,         // the adaptor's own chip is not the backup's
  OtherAdaptor,      // the backup was taken from another adaptor
};

struct RestorePlan {
  RestoreVerdict verdict = RestoreVerdict::Unreadable;
  std::string reason;              // why it is refused, in words; empty for Go
  std::vector<std::string> notes;  // what the user should know when it goes on
  bool writeFirmwareArea = false;
  bool writeNvram = false;
};

// Judges a backup against the adaptor at `path` before anything is written: its content on its
// own, then the adaptor's own chip and identity as read from the bridge (reads only). The
// adaptor is the same when its USB ids, INQUIRY vendor and product and whole NVRAM block match
// the backup's, the maker's name and the brand taken as one (an update rebrands them).
RestorePlan PlanRestore(std::string_view path, const AdaptorBackup& backup,
                        const RestoreOptions& options);

// Writes a backup back onto the adaptor at `path` once PlanRestore lets it, and only when the
// form's chip is the adaptor's own too: the firmware area through the chip's writer with the
// update's read-back and comparison, then (unless options.fromOtherAdaptor) the NVRAM block with
// its read-back comparison. A refusal sends no write command. Failures go to form.ReportFailure
// as the update's do.
bool RestoreAdaptorBackup(UpdateContext& form, std::string_view path, const AdaptorBackup& backup,
                          const RestoreOptions& options = {});

}  // namespace corvane::firmware
