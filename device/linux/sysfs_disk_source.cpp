#include "device/linux/sysfs_disk_source.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "device/linux/device_path.h"

namespace corvane::device::linuxdev {

namespace fs = std::filesystem;

namespace {

using Hctl = std::array<unsigned long, 4>;

// "6:0:0:0" -> {6, 0, 0, 0}; the bus also lists "host6" and "target6:0:0", which do not parse.
std::optional<Hctl> ParseHctl(const std::string& name) {
  Hctl numbers{};
  const char* cursor = name.data();
  const char* const end = name.data() + name.size();
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const auto [next, error] = std::from_chars(cursor, end, numbers[i]);
    if (error != std::errc() || next == cursor) return std::nullopt;
    cursor = next;
    if (i + 1 < numbers.size()) {
      if (cursor == end || *cursor != ':') return std::nullopt;
      ++cursor;
    }
  }
  if (cursor != end) return std::nullopt;
  return numbers;
}

// A device that the kernel is tearing down is no longer present.
bool IsGoingAway(const fs::path& deviceDir) {
  const std::optional<std::string> state = ReadAttribute(deviceDir / "state");
  return state && (*state == "deleted" || *state == "cancel");
}

}  // namespace

SysfsDiskSource::SysfsDiskSource(fs::path sysfsRoot) : sysfsRoot_(std::move(sysfsRoot)) {}

bool SysfsDiskSource::ListDiskInterfaces(std::vector<DiskInterface>& interfaces) {
  std::error_code error;
  const fs::path root = fs::canonical(sysfsRoot_, error);
  if (error) return false;
  const fs::path bus = root / "bus" / "scsi" / "devices";
  if (!fs::exists(bus, error)) {
    // Without the SCSI subsystem there are simply no SCSI disks; without sysfs there is no list.
    return fs::is_directory(root / "bus", error);
  }

  struct Found {
    Hctl hctl;
    std::string path;
    std::optional<std::uint16_t> usbVendorId;
    std::optional<std::uint16_t> usbProductId;
  };
  std::vector<Found> found;
  fs::directory_iterator it(bus, error);
  if (error) return false;
  for (fs::directory_iterator last; it != last; it.increment(error)) {
    if (error) return false;
    const std::optional<Hctl> hctl = ParseHctl(it->path().filename().string());
    if (!hctl) continue;

    std::error_code entryError;
    const fs::path deviceDir = fs::canonical(it->path(), entryError);
    if (entryError) continue;  // unplugged while we looked
    const fs::path relative = deviceDir.lexically_relative(root);
    if (relative.empty() || *relative.begin() != "devices") continue;

    if (ReadAttribute(deviceDir / "type") != "0") continue;  // disks only: no CD, tape, enclosure
    if (IsGoingAway(deviceDir) || !SgNodeName(deviceDir)) continue;

    // Appended rather than "/" + ..., which GCC 12 at -O3 mistakes for an overlapping copy.
    std::string devpath(1, '/');
    devpath.append(relative.generic_string());
    found.push_back(Found{*hctl, MakeDevicePath(ClassifyScsiDevice(deviceDir), devpath,
                                                 PlugToken(deviceDir)),
                          UsbVendorId(deviceDir), UsbProductId(deviceDir)});
  }

  // Directory order is arbitrary; the kernel's numbering is the platform's order here.
  std::sort(found.begin(), found.end(),
            [](const Found& a, const Found& b) { return a.hctl < b.hctl; });
  for (Found& disk : found) {
    interfaces.push_back(DiskInterface{std::move(disk.path), disk.usbVendorId, disk.usbProductId});
  }
  return true;
}

}  // namespace corvane::device::linuxdev
