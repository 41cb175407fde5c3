// The update check's device reads and version rules, shared by the window and the CLI.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "firmware/chip_profiles.h"

namespace corvane::app {

using firmware::VersionVerdict;

// The version rules of the updatable bridge `chipCode` over its 16-byte chip information block
// (signature already checked); byte 6 == 0 means the bridge runs its boot ROM. Codes of chips the
// tool does not update give Unlisted.
VersionVerdict DecideVersion(std::uint8_t chipCode, std::span<const std::uint8_t, 16> chipInfo);

// The gate of the check that failed first (None when all passed).
enum class CheckGate {
  None,
  ChipCode,     // neither KTS210 nor KTS260
  FlashType,    // the flash type read failed
  ChipInfo,     // the chip information read failed
  Signature,    // the chip information does not begin F4 E7
  BootRom,      // a bridge that cannot be updated from its boot ROM runs it
  NvramRead,    // the vendor-string block could not be read
  Inquiry,      // INQUIRY failed
  Volant,       // the identification names the VOLANT product line
};

// The check's final result, as the window shows it.
enum class CheckResultKind {
  NoDevice,       // nothing was found to check (the window leaves everything as it is)
  Current,
  UpdateOffered,
  Unlisted,
  NotSupported,
};

struct UpdateCheckResult {
  CheckResultKind kind = CheckResultKind::NoDevice;
  std::string path;          // the device checked (lower-cased, as the device table holds it)
  std::uint16_t chipId = 0;  // identification word; ChipCode in the low byte
  std::uint8_t chipCode = 0;
  // The verdict of the version rules when they were reached. It can be set while `kind` is
  // NotSupported: an unreadable vendor-string block lets the version be judged and shown for a
  // moment before the failure replaces it.
  std::optional<VersionVerdict> verdict;
  std::array<std::uint8_t, 16> chipInfo{};
  bool chipInfoRead = false;  // chipInfo holds a block with the F4 E7 signature
  std::array<std::uint8_t, 4> version{};  // a.b.c.d, valid when chipInfoRead
  bool romMode = false;                   // byte 6 == 0, valid when chipInfoRead
  CheckGate failedGate = CheckGate::None; // first failed gate
  std::string identification;             // upper-cased INQUIRY bytes 8..31 when read
};

struct UpdateCheckHooks {
  // Called once the chip passed the code gate and the flash type was read (whatever its result),
  // where the window shows "Checking for FW update" and lets messages through.
  std::function<void()> checking;
};

// Identifies the chip behind `path` and runs every device read of the check, in order: chip code
// gate, flash type, chip information and signature, boot-ROM gate, bridge ready and the
// vendor-string block, INQUIRY and the VOLANT rule, then the version rules. Never returns NoDevice.
UpdateCheckResult RunUpdateCheck(std::string_view path, const UpdateCheckHooks& hooks = {});

// The status text and picture of a result for a chip (texts of form_texts.h). NoDevice has neither.
std::string_view CheckResultStatusText(CheckResultKind kind, std::uint8_t chipCode);
std::string_view CheckResultPicture(CheckResultKind kind);

// "chip-code", "flash-type", ... for the CLI's JSON.
std::string_view CheckGateName(CheckGate gate);

}  // namespace corvane::app
