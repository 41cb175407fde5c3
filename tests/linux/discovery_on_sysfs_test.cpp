// The portable discovery and transport rules running on the Linux paths: what is asked, what is
// admitted, and that a lower-cased path still reaches its own device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <array>
#include <string>
#include <vector>

#include "device/device_discovery.h"
#include "device/linux/device_path.h"
#include "device/linux/sg_scsi_port.h"
#include "device/linux/sysfs_disk_source.h"
#include "device/pass_through.h"
#include "device/platform.h"
#include "tests/linux/fake_sg_system.h"
#include "tests/linux/fake_sysfs.h"

namespace corvane::device::linuxdev {
namespace {

using testing::FakeSgSystem;
using testing::FakeSysfs;

struct NullHost : HostServices {
  void SleepMs(std::uint32_t) override {}
  void DebugOutput(std::string_view) override {}
  void ShowErrorBox(std::string_view, std::string_view) override {}
};

struct Bench {
  FakeSysfs sysfs;
  FakeSgSystem system;
  SgScsiPort port{sysfs.Sys(), sysfs.Dev(), system};
  SysfsDiskSource disks{sysfs.Sys()};
  NullHost host;
  CommandLog log;
  ScopedPlatform installed{Platform{&port, &disks, &host, &log}};
  std::string enclosure, stick, firewire;

  Bench() {
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/";
    sysfs.AddScsiDevice({"/devices/pci0000:00/0000:00:1f.2/ata1", "", "0:0:0:0", 0, "sg0"});
    sysfs.AddScsiDevice(
        {"/devices/pci0000:00/0000:00:04.0/virtio1", "virtio_scsi", "2:0:0:0", 0, "sg5"});
    enclosure = sysfs.AddScsiDevice({usb + "usb2/2-1/2-1:1.0", "uas", "6:0:0:0", 0, "sg1"});
    stick = sysfs.AddScsiDevice(
        {usb + "usb1/1-2/1-2:1.0", "usb-storage", "8:0:0:0", 0, "sg3", "running", "0781"});
    firewire = sysfs.AddScsiDevice(
        {"/devices/pci0000:00/0000:05:00.0/fw1/fw1.0", "firewire_sbp2", "9:0:0:0", 0, "sg4"});
    // Bridges answer with the chip maker's signature; the stick rejects every vendor command.
    system.deviceBytes = {0xF4, 0xE7, 0x3C, 0x9F};
    system.rejecting = {"sg3"};
  }
  std::vector<std::string> OpenedNodes() const {
    std::vector<std::string> nodes;
    for (const auto& [node, flags] : system.opens) {
      if (std::find(nodes.begin(), nodes.end(), node) == nodes.end()) nodes.push_back(node);
    }
    return nodes;
  }
};

TEST(DiscoveryOnSysfs, AsksOnlyExternalDisksAndAdmitsOnlyBridges) {
  const struct {
    int include1394;
    std::vector<std::string> asked;
    std::vector<Attachment> admitted;
  } cases[] = {
      {1, {"sg1", "sg3", "sg4"}, {Attachment::Uas, Attachment::Sbp2}},
      {0, {"sg1", "sg3"}, {Attachment::Uas}},
  };
  for (const auto& c : cases) {
    Bench bench;
    std::array<DevicePathSlot, kScanPathSlots> slots{};
    const int count = EnumBridgeDevices(slots, c.include1394);
    EXPECT_EQ(bench.OpenedNodes(), c.asked) << "internal disks must never be asked";
    ASSERT_EQ(count, static_cast<int>(c.admitted.size()));
    const std::string expected[] = {
        MakeDevicePath(Attachment::Uas, bench.enclosure, "d2"),
        MakeDevicePath(Attachment::Sbp2, bench.firewire, "g0001d2000000000a")};
    for (int i = 0; i < count; ++i) EXPECT_EQ(std::string(slots[i].data()), expected[i]);
    EXPECT_EQ(bench.system.openFds, 0);
  }
}

TEST(DiscoveryOnSysfs, OnlyARefusedDiskThatMayBeOursCountsAsARefusedBridge) {
  // An ordinary stick's sg node is closed to users; only the udev rule opens ours (idVendor 3c9f).
  const struct {
    const char* what;
    std::string refusing;
    bool enclosureVendorUnreadable;
    std::string enclosureProduct;  // written over the adaptor's idProduct; empty: left
    bool refusedBridge;
  } rows[] = {
      {"foreign stick refused", "sg3", false, "", false},
      {"adaptor refused", "sg1", false, "", true},
      {"adaptor refused, vendor id not shown", "sg1", true, "", true},
      {"the chip maker's other product refused", "sg1", false, "2603", false},
      {"adaptor refused, listed KTS210 product", "sg1", false, "2172", true},
      {"1394 bridge refused: no USB vendor id to go by", "sg4", false, "", true},
      {"nothing refused", "", false, "", false},
  };
  for (const auto& row : rows) {
    Bench bench;
    if (!row.refusing.empty()) bench.system.openErrors[row.refusing] = EACCES;
    if (row.enclosureVendorUnreadable) {
      std::filesystem::remove(bench.sysfs.Dir("/devices/pci0000:00/0000:00:14.0/usb2/2-1") /
                              "idVendor");
    }
    if (!row.enclosureProduct.empty()) {
      std::ofstream(bench.sysfs.Dir("/devices/pci0000:00/0000:00:14.0/usb2/2-1") / "idProduct")
          << row.enclosureProduct << '\n';
    }
    std::array<DevicePathSlot, kScanPathSlots> slots{};
    DiscoveryNotes notes;
    EnumBridgeDevices(slots, 1, &notes);
    EXPECT_EQ(notes.refusedBridge, row.refusedBridge) << row.what;
  }
}

TEST(DiscoveryOnSysfs, TheScansLowerCasedPathReachesTheSameNode) {
  Bench bench;
  const std::string device = bench.sysfs.AddScsiDevice(
      {"/devices/platform/PNP0D10:00/usb3/3-1/3-1:1.0", "usb-storage", "12:0:0:0", 0, "sg8"});
  std::string path = MakeDevicePath(Attachment::BulkOnly, device, bench.sysfs.Token(device));
  std::transform(path.begin(), path.end(), path.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });

  const std::uint8_t inquiry[12] = {0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0};
  std::array<std::uint8_t, 36> answer{};
  std::uint32_t transferred = 0;
  EXPECT_EQ(PassThroughIn(path, inquiry, 12, answer.data(), 36, &transferred), 1);
  EXPECT_EQ(bench.OpenedNodes(), std::vector<std::string>{"sg8"});
  EXPECT_EQ(answer[0], 0xF4);
  EXPECT_EQ(transferred, 36u);
}

}  // namespace
}  // namespace corvane::device::linuxdev
