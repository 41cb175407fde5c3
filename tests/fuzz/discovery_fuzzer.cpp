// Discovery and the scan over a disk list and bridge answers that all come from the fuzzer: which
// paths are asked, which are admitted, and what lands in the caller's slots.
#include <algorithm>
#include <cstring>

#include "app/device_scan.h"
#include "device/chip_identification.h"
#include "device/device_discovery.h"
#include "device/platform.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

namespace {

constexpr std::string_view kAttachments[] = {"usbstor", "scsi", "sbp2", "USBSTOR", "ata", "nvme",
                                             "usbsto", "sbp2+scsi"};

class FuzzedDisks : public device::DiskSource {
 public:
  bool ListDiskInterfaces(std::vector<device::DiskInterface>& out) override {
    out = interfaces;
    return listed;
  }
  bool listed = true;
  std::vector<device::DiskInterface> interfaces;
};

bool IsCandidate(const std::string& path) {
  return path.find("usbsto") != std::string::npos || path.find("sbp2") != std::string::npos ||
         path.find("scsi") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  FuzzedDisks disks;
  disks.listed = fuzz.ConsumeIntegral<std::uint8_t>() != 0xFF;
  const std::size_t count = fuzz.ConsumeIntegralInRange<std::size_t>(0, 20);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t shape = fuzz.ConsumeIntegral<std::uint8_t>();
    device::DiskInterface disk;
    if (shape == 0xFF) {
      disks.interfaces.push_back(disk);  // a path the platform cannot read
      continue;
    }
    std::string path = "\\\\?\\" + std::string(kAttachments[shape % std::size(kAttachments)]) + "#";
    if (shape & 0x80) path += fuzz.ConsumeRandomLengthString(300);
    if ((shape & 0x70) == 0x70) path.append(250, 'x');  // longer than a slot
    path += "/" + std::to_string(i);  // every path names one device
    disk.path = path;
    disks.interfaces.push_back(disk);
  }
  const std::size_t slotCount = fuzz.ConsumeIntegralInRange<std::size_t>(0, 20);

  fuzz::ScriptedPort port([&](const fuzz::SentCommand& c) {
    return fuzz::FuzzedAnswer(fuzz, std::min<std::size_t>(c.length, 16));
  });
  fuzz::FuzzHost host;
  device::ScopedPlatform platform(device::Platform{&port, &disks, &host, nullptr});

  std::vector<device::DevicePathSlot> slots(slotCount);
  for (auto& slot : slots) slot.fill('\x5A');
  const int found = device::EnumBridgeDevices(slots, 1);
  FUZZ_REQUIRE(found >= 0 && static_cast<std::size_t>(found) <= slotCount);
  for (std::size_t s = static_cast<std::size_t>(found); s < slotCount; ++s) {
    FUZZ_REQUIRE(std::all_of(slots[s].begin(), slots[s].end(), [](char c) { return c == '\x5A'; }));
  }
  if (!disks.listed) FUZZ_REQUIRE(found == 0 && port.commands.empty());

  // The readable paths before the first unreadable one, in order; only those are looked at.
  std::vector<std::string> readable;
  for (const auto& disk : disks.interfaces) {
    if (!disk.path) break;
    readable.push_back(*disk.path);
  }
  std::size_t next = 0;
  for (int s = 0; s < found; ++s) {
    const auto& slot = slots[static_cast<std::size_t>(s)];
    const auto end = std::find(slot.begin(), slot.end(), '\0');
    FUZZ_REQUIRE(end != slot.end());
    const std::string path(slot.begin(), end);
    while (next < readable.size() && readable[next] != path) ++next;
    FUZZ_REQUIRE(next < readable.size());  // admitted paths keep the platform's order
    FUZZ_REQUIRE(IsCandidate(path) && path.size() < device::kDevicePathSlotSize);
    ++next;
  }
  // Candidates only, at most three reads each; a path is admitted exactly when its last answer
  // (the chip information or the identification word) succeeded.
  for (const auto& path : readable) {
    std::vector<const fuzz::SentCommand*> sent;
    for (const auto& c : port.commands) {
      if (c.path == path) sent.push_back(&c);
    }
    if (sent.empty()) continue;
    FUZZ_REQUIRE(IsCandidate(path) && path.find('\0') == std::string::npos);
    FUZZ_REQUIRE(sent.size() <= 3);
    for (const auto* c : sent) FUZZ_REQUIRE(c->direction == device::DataDirection::In);
    bool admitted = false;
    for (int s = 0; s < found; ++s) admitted = admitted || path == slots[static_cast<std::size_t>(s)].data();
    FUZZ_REQUIRE(admitted == sent.back()->succeeded);
    FUZZ_REQUIRE(sent.back()->kind == "ReadChipInfo" || sent.back()->kind == "ReadChipIdWord");
  }

  // The scan over the same platform: it lists only identified chips, lower-cased.
  port.commands.clear();
  const app::ScanResult scan = app::ScanBridgeDevices({}, std::max<std::size_t>(slotCount, 1));
  FUZZ_REQUIRE(scan.foundDiskCount >= 0 &&
               static_cast<std::size_t>(scan.foundDiskCount) <= std::max<std::size_t>(slotCount, 1));
  FUZZ_REQUIRE(scan.listed.size() <= static_cast<std::size_t>(scan.foundDiskCount));
  FUZZ_REQUIRE(!scan.limitReached);
  for (const auto& listed : scan.listed) {
    FUZZ_REQUIRE(device::ChipCodeOf(listed.chipId) != 0);
    FUZZ_REQUIRE(std::none_of(listed.path.begin(), listed.path.end(),
                              [](char c) { return c >= 'A' && c <= 'Z'; }));
  }
  FUZZ_REQUIRE(!port.AnyDataOut());
  return 0;
}
