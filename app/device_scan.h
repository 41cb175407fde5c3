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

// How an adaptor is attached, as its (lower-cased) path tells.
enum class Bus { Usb, Uas, Ieee1394 };

// "sbp2" in the path: 1394; else "scsi": UAS; else USB bulk-only.
Bus BusOf(std::string_view lowerCasePath);
// The device list's prefix: "<<1394>> ", "<<UASP>> ", "<<USB>> ".
std::string_view BusPrefix(Bus bus);
// "1394", "uas", "usb".
std::string_view BusName(Bus bus);

struct ListedDevice {
  std::string path;        // lower-cased
  Bus bus = Bus::Usb;
  std::string model;       // INQUIRY vendor + product text (carried over when INQUIRY failed)
  std::uint16_t chipId = 0;
  // As the device list shows it: the bus prefix and the model text.
  std::string ItemText() const { return std::string(BusPrefix(bus)) + model; }
};

// What the scan's outcome is, as the window shows it.
enum class ScanOutcome {
  NotRun,     // no scan yet
  NoAdaptor,  // discovery returned no path
  Checked,    // at most one device listed: the update check ran on the selected item
  Several,    // two or more listed: detach all but one
};

struct ScanResult {
  ScanOutcome outcome = ScanOutcome::NotRun;
  int foundDiskCount = 0;               // paths discovery returned
  std::vector<ListedDevice> listed;     // devices with an identified chip, in probe order
  // The last probed path when it was not listed and came after the last listed one: the window's
  // device table keeps it in the row after the listed ones.
  std::optional<std::string> trailingUnlistedPath;
  std::uint16_t lastChipId = 0;         // identification word of the last path probed
  bool limitReached = false;            // more paths than kMaxListedDisks could be listed
  // A device that may be one of our adaptors could not be opened because this user lacks the
  // rights to it (seen in the transport's command log, when the platform wires one). Disks whose
  // USB vendor id names another maker do not count.
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

// The entry text of an INQUIRY answer: bytes 8..31 as the device pads them, ended at a NUL.
std::string InquiryEntryText(const std::uint8_t* answer40);

// Discovers the bridge devices (1394 included) into slotCount path slots and probes each path in
// the platform's order. The outcome is NoAdaptor, or Checked/Several by the listed count (the
// caller runs the check).
ScanResult ScanBridgeDevices(const ScanHooks& hooks = {},
                             std::size_t slotCount = device::kScanPathSlots);

}  // namespace corvane::app
