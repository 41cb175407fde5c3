#include "app/device_scan.h"

#include <algorithm>
#include <array>
#include <vector>

#include "app/form_texts.h"
#include "device/ascii_text.h"
#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "device/device_discovery.h"
#include "device/platform.h"

namespace corvane::app {

using namespace device;

Bus BusOf(std::string_view lowerCasePath) {
  if (lowerCasePath.find("sbp2") != std::string_view::npos) return Bus::Ieee1394;
  if (lowerCasePath.find("scsi") != std::string_view::npos) return Bus::Uas;
  return Bus::Usb;
}

std::string_view BusPrefix(Bus bus) {
  switch (bus) {
    case Bus::Ieee1394: return kPrefix1394;
    case Bus::Uas: return kPrefixUasp;
    case Bus::Usb: break;
  }
  return kPrefixUsb;
}

std::string_view BusName(Bus bus) {
  switch (bus) {
    case Bus::Ieee1394: return "1394";
    case Bus::Uas: return "uas";
    case Bus::Usb: break;
  }
  return "usb";
}

std::string InquiryEntryText(const std::uint8_t* answer40) {
  std::string text;
  for (std::size_t i = 8; i < 32 && answer40[i] != 0; ++i) text.push_back(static_cast<char>(answer40[i]));
  return text;
}

ScanResult ScanBridgeDevices(const ScanHooks& hooks, std::size_t slotCount) {
  ScanResult result;
  std::vector<DevicePathSlot> slots(std::max<std::size_t>(slotCount, 1));
  // Refused opens are read off the transport's log: the scan itself only sends commands.
  const CommandLog* log = ActivePlatform().log;

  DiscoveryNotes notes;
  const int found =
      EnumBridgeDevices(std::span<DevicePathSlot>(slots.data(), slotCount), 1, &notes);
  const std::uint64_t probeStart = log != nullptr ? log->Sequence() : 0;
  result.foundDiskCount = std::clamp(found, 0, static_cast<int>(slotCount));
  if (result.foundDiskCount > 0) {
    if (hooks.probing) hooks.probing();
    std::string entryText;  // carried over to devices whose INQUIRY fails
    for (int q = 0; q < result.foundDiskCount; ++q) {
      if (result.listed.size() == static_cast<std::size_t>(kMaxListedDisks)) {
        result.limitReached = true;
        if (hooks.limitReached) hooks.limitReached();
        break;
      }
      const DevicePathSlot& slot = slots[static_cast<std::size_t>(q)];
      const std::string path = LowerCaseAscii(
          std::string_view(slot.data(), std::find(slot.begin(), slot.end(), '\0') - slot.begin()));
      std::array<std::uint8_t, kInquiryLength> inquiry{};
      if (ScsiInquiry(path, inquiry.data(), kInquiryLength) != 0) {
        entryText = InquiryEntryText(inquiry.data());
      }
      result.trailingUnlistedPath = path;
      result.lastChipId = IdentifyChip(path);
      if (ChipCodeOf(result.lastChipId) == kChipCodeNone) continue;
      result.trailingUnlistedPath.reset();
      ListedDevice device{path, BusOf(path), entryText, result.lastChipId};
      if (hooks.listing) hooks.listing(device);
      result.listed.push_back(std::move(device));
    }
  }
  if (result.foundDiskCount == 0) {
    result.outcome = ScanOutcome::NoAdaptor;
  } else {
    result.outcome = result.listed.size() >= 2 ? ScanOutcome::Several : ScanOutcome::Checked;
  }
  // Discovery counts only refusals by disks that may be ours; what is probed afterwards has
  // answered as a bridge.
  result.accessDenied =
      notes.refusedBridge || (log != nullptr && log->AccessDeniedSince(probeStart));
  return result;
}

}  // namespace corvane::app
