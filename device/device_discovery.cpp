#include "device/device_discovery.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "device/chip_info.h"
#include "device/disk_source.h"
#include "device/platform.h"
#include "device/usb_products.h"

namespace corvane::device {
namespace {

// The path shows the attachment; the tests are exact and case-sensitive on the path as given.
bool IsCandidate(std::string_view path, int include1394) {
  const auto contains = [path](std::string_view part) {
    return path.find(part) != std::string_view::npos;
  };
  return contains("usbsto") || (include1394 != 0 && contains("sbp2")) || contains("scsi");
}

// A path that cannot be stored whole as NUL-terminated text in one slot would later name a
// different device (or none), so it is never probed nor recorded.
bool FitsSlot(std::string_view path) {
  return path.size() < kDevicePathSlotSize && path.find('\0') == std::string_view::npos;
}

bool IsAdmitted(std::string_view path) {
  if (CheckBridgeSignature(path) != 0) return true;
  std::uint8_t idWord[2] = {};
  return ReadChipIdWord(path, idWord) != 0;  // its success alone admits; the answer is not read
}

// A disk whose USB ids are known and are not those of a Corvane adaptor is not one of ours: another
// maker's device, or another product of the chip maker, which the udev rule does not open either.
bool MayBeCorvaneAdaptor(const DiskInterface& disk) {
  if (!disk.usbVendorId.has_value()) return true;
  if (!disk.usbProductId.has_value()) return *disk.usbVendorId == kChipMakerVendorId;
  return IsCorvaneUsbProduct(*disk.usbVendorId, *disk.usbProductId);
}

}  // namespace

int EnumBridgeDevices(std::span<DevicePathSlot> slots, int include1394, DiscoveryNotes* notes) {
  const CommandLog* log = ActivePlatform().log;
  DiskSource* disks = ActivePlatform().disks;
  if (disks == nullptr) return 0;
  std::vector<DiskInterface> interfaces;
  if (!disks->ListDiskInterfaces(interfaces)) return 0;

  std::size_t filled = 0;
  for (const DiskInterface& disk : interfaces) {
    // The walk ends at the first path that cannot be read; later interfaces are not looked at.
    if (!disk.path.has_value()) break;
    // With every slot filled the walk stops: a further device could not be returned anyway, and
    // probing it would only cost its caller up to three more commands of 10 s each.
    if (filled == slots.size()) break;
    const std::string& path = *disk.path;
    if (!IsCandidate(path, include1394) || !FitsSlot(path)) continue;
    const std::uint64_t before = log != nullptr ? log->Sequence() : 0;
    if (!IsAdmitted(path)) {
      if (notes != nullptr && log != nullptr && log->AccessDeniedSince(before) &&
          MayBeCorvaneAdaptor(disk)) {
        notes->refusedBridge = true;
      }
      continue;
    }
    DevicePathSlot& slot = slots[filled];
    std::fill(slot.begin(), slot.end(), '\0');
    std::copy(path.begin(), path.end(), slot.begin());
    ++filled;
  }
  return static_cast<int>(filled);
}

}  // namespace corvane::device
