// The scan's device work: discovery, INQUIRY and chip identification of every path, shared by the
// window and the CLI.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_discovery.h"

namespace corvane::app {

// The most devices one scan lists (rows of the form's device table).
inline constexpr int kMaxListedDisks = 128;

struct ListedDevice {
  std::string path;        // lower-cased
  std::string itemText;    // bus prefix and INQUIRY vendor + product text
  std::uint16_t chipId = 0;
};

struct ScanResult {
  int foundDiskCount = 0;               // paths discovery returned
  std::vector<ListedDevice> listed;     // devices with an identified chip, in probe order
  // The last probed path when it was not listed and came after the last listed one: the window's
  // device table keeps it in the row after the listed ones.
  std::optional<std::string> trailingUnlistedPath;
  std::uint16_t lastChipId = 0;         // identification word of the last path probed
  bool limitReached = false;            // more paths than kMaxListedDisks could be listed
  // Some device could not be opened because this user lacks the rights to it.
  bool accessDenied = false;
};

struct ScanHooks {
  // Discovery returned at least one path; probing begins.
  std::function<void()> probing;
  // A device with an identified chip is about to be listed (before it is appended to `listed`).
  std::function<void(const ListedDevice&)> listing;
  // kMaxListedDisks devices are listed and more paths remain: probing stops after this returns.
  std::function<void()> limitReached;
};

// The bus prefix for a lower-cased path: "<<1394>> " for sbp2, "<<UASP>> " for scsi, else "<<USB>> ".
std::string_view BusPrefix(std::string_view lowerCasePath);

// The entry text of an INQUIRY answer: bytes 8..31 as the device pads them, ended at a NUL.
std::string InquiryEntryText(const std::uint8_t* answer40);

// Discovers the bridge devices (1394 included) into slotCount path slots and probes each path in
// the platform's order.
ScanResult ScanBridgeDevices(const ScanHooks& hooks = {}, std::size_t slotCount = kScanPathSlots);

}  // namespace corvane::app
