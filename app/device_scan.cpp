#include "app/device_scan.h"

#include <algorithm>
#include <array>
#include <vector>

#include "app/form_texts.h"
#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "device/device_discovery.h"
#include "device/platform.h"

namespace corvane::app {
namespace {

// Passes every request on and notes whether an open was refused for lack of rights, so that a
// scan finding nothing can tell the user why.
class AccessWatchPort : public ScsiPort {
 public:
  explicit AccessWatchPort(ScsiPort& inner) : inner_(inner) {}
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    ScsiOutcome outcome = inner_.Execute(path, request);
    if (!outcome.opened && outcome.accessDenied) denied_ = true;
    return outcome;
  }
  bool IsSimulated() const override { return inner_.IsSimulated(); }
  bool Denied() const { return denied_; }

 private:
  ScsiPort& inner_;
  bool denied_ = false;
};

std::string LowerCaseAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace

std::string_view BusPrefix(std::string_view lowerCasePath) {
  if (lowerCasePath.find("sbp2") != std::string_view::npos) return kPrefix1394;
  if (lowerCasePath.find("scsi") != std::string_view::npos) return kPrefixUasp;
  return kPrefixUsb;
}

std::string InquiryEntryText(const std::uint8_t* answer40) {
  std::string text;
  for (std::size_t i = 8; i < 32 && answer40[i] != 0; ++i) text.push_back(static_cast<char>(answer40[i]));
  return text;
}

ScanResult ScanBridgeDevices(const ScanHooks& hooks, std::size_t slotCount) {
  ScanResult result;
  std::vector<DevicePathSlot> slots(std::max<std::size_t>(slotCount, 1));

  const Platform live = ActivePlatform();
  std::optional<AccessWatchPort> watch;
  Platform watched = live;
  if (live.port != nullptr) {
    watch.emplace(*live.port);
    watched.port = &*watch;
  }
  ScopedPlatform guard(watched);

  const int found = EnumBridgeDevices(std::span<DevicePathSlot>(slots.data(), slotCount), 1);
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
      const std::string path =
          LowerCaseAscii(std::string_view(slot.data(), std::find(slot.begin(), slot.end(), '\0') -
                                                           slot.begin()));
      std::array<std::uint8_t, kInquiryLength> inquiry{};
      if (ScsiInquiry(path, inquiry.data(), kInquiryLength) != 0) {
        entryText = InquiryEntryText(inquiry.data());
      }
      result.trailingUnlistedPath = path;
      result.lastChipId = IdentifyChip(path);
      if (ChipCodeOf(result.lastChipId) == kChipCodeNone) continue;
      result.trailingUnlistedPath.reset();
      ListedDevice device{path, std::string(BusPrefix(path)) + entryText, result.lastChipId};
      if (hooks.listing) hooks.listing(device);
      result.listed.push_back(std::move(device));
    }
  }
  result.accessDenied = watch.has_value() && watch->Denied();
  return result;
}

}  // namespace corvane::app
