#include "sim/windows_interface_paths.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "sim/scenario.h"

namespace corvane::sim {
namespace {

constexpr std::string_view kDiskClassSuffix = "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// A field of a device id as Windows builds it from an INQUIRY string: trailing spaces dropped,
// letters lower-cased (as the interface path shows them), and spaces and anything else that may
// not stand in a device id turned into '_'.
std::string IdField(std::string_view text, std::size_t padTo = 0) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  std::string field;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == ',' || c == '#' || c == '\\' || c == '/') {
      field.push_back('_');
    } else {
      field.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
  }
  if (field.size() < padTo) field.append(padTo - field.size(), '_');
  return field;
}

std::string Hex(unsigned long long value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llx", digits, value);
  return text;
}

}  // namespace

std::string WindowsInterfacePath(const DeviceConfig& device, std::size_t index) {
  const InquiryStrings& inquiry = device.inquiry;
  const std::string vendor = IdField(inquiry.vendor);
  const std::string product = IdField(inquiry.product);
  const std::string revision = IdField(inquiry.revision);
  std::string path = "\\\\?\\";
  switch (device.bus) {
    case Bus::Usb:
      // USBSTOR\Disk&Ven_..&Prod_..&Rev_..\<serial number>&<lun>
      path += "usbstor#disk&ven_" + vendor + "&prod_" + product + "&rev_" + revision + "#3c9f" +
              Hex(index, 8) + "&0";
      break;
    case Bus::Uas:
      // SCSI\Disk&Ven_..&Prod_..\<parent id>&<port>&<bus><target><lun>
      path += "scsi#disk&ven_" + vendor + "&prod_" + product + "#4&" + Hex(0x2e5a0000 + index, 8) +
              "&0&000000";
      break;
    case Bus::Ieee1394:
      // SBP2\<vendor>&<model>&LUN0\<the node's unique id>
      path += "sbp2#" + vendor + "&" + product + "&lun0#0030e0f4e" + Hex(index, 7);
      break;
    case Bus::Internal:
      // IDE\Disk<model, 40 characters><firmware revision, 8 characters>\<parent
      // id>&<channel>.<target>.<lun>
      path += "ide#disk" + IdField(inquiry.product, 40) + IdField(inquiry.revision, 8) + "#5&" +
              Hex(0x1a2b0000 + index, 8) + "&0&0.0.0";
      break;
  }
  path += kDiskClassSuffix;
  return path;
}

device::windows::EmulatedDiskLister WindowsDiskLister(const Scenario& scenario,
                                                      const SimWorld& world) {
  return [devices = scenario.devices, &world] {
    std::vector<device::windows::EmulatedDisk> disks;
    const std::size_t count = std::min(devices.size(), world.DeviceCount());
    for (std::size_t i = 0; i < count; ++i) {
      if (!world.IsPlugged(i)) continue;  // an unplugged adaptor leaves the disk list
      const DeviceConfig& config = *devices[i];
      device::windows::EmulatedDisk disk;
      disk.interfacePath = WindowsInterfacePath(config, i);
      if (!config.pathUnreadable) disk.innerPath = world.PathOf(i);
      disk.accessDenied = config.accessDenied;
      disks.push_back(std::move(disk));
    }
    return disks;
  };
}

}  // namespace corvane::sim
