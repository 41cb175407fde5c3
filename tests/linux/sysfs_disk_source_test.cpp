#include "device/linux/sysfs_disk_source.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/linux/device_path.h"
#include "tests/linux/fake_sysfs.h"

namespace corvane::device::linuxdev {
namespace {

using testing::FakeSysfs;
using testing::ScsiDeviceShape;

constexpr const char* kXhci = "/devices/pci0000:00/0000:00:14.0";

// One machine with everything the listing has to tell apart.
struct Machine {
  FakeSysfs sysfs;
  std::vector<std::string> expected;  // paths in the order the source must give them

  Machine() {
    const struct {
      ScsiDeviceShape shape;
      int listedAs;  // -1: must not be listed; else the Attachment
    } devices[] = {
        // SuperSpeed enclosure on uas, high-speed on usb-storage, a stick behind a hub.
        {{std::string(kXhci) + "/usb2/2-1/2-1:1.0", "uas", "6:0:0:0", 0, "sg1"},
         int(Attachment::Uas)},
        {{std::string(kXhci) + "/usb1/1-1/1-1:1.0", "usb-storage", "7:0:0:0", 0, "sg2"},
         int(Attachment::BulkOnly)},
        {{std::string(kXhci) + "/usb1/1-2/1-2.3/1-2.3:1.0", "usb-storage", "8:0:0:0", 0, "sg3",
          "running", "0781"},
         int(Attachment::BulkOnly)},
        // A card reader's second slot: another LUN of the same host.
        {{std::string(kXhci) + "/usb1/1-1/1-1:1.0", "usb-storage", "7:0:0:1", 0, "sg7"},
         int(Attachment::BulkOnly)},
        {{"/devices/pci0000:00/0000:00:1c.2/0000:05:00.0/fw1/fw1.0", "firewire_sbp2", "9:0:0:0", 0,
          "sg4"},
         int(Attachment::Sbp2)},
        // Internal disks: SATA through libata, a virtio-scsi disk.
        {{"/devices/pci0000:00/0000:00:1f.2/ata1", "", "0:0:0:0", 0, "sg0"},
         int(Attachment::Internal)},
        {{"/devices/pci0000:00/0000:00:04.0/virtio1", "virtio_scsi", "2:0:0:0", 0, "sg5"},
         int(Attachment::Internal)},
        // An xhci enumerated by ACPI: upper-case letters in the devpath.
        {{"/devices/platform/PNP0D10:00/usb3/3-1/3-1:1.0", "usb-storage", "12:0:0:0", 0, "sg8"},
         int(Attachment::BulkOnly)},
        // Not listed: a DVD drive, a disk without sg node, a disk being deleted.
        {{"/devices/pci0000:00/0000:00:1f.2/ata2", "", "1:0:0:0", 5, "sg6"}, -1},
        {{std::string(kXhci) + "/usb1/1-4/1-4:1.0", "usb-storage", "10:0:0:0", 0, ""}, -1},
        {{std::string(kXhci) + "/usb1/1-5/1-5:1.0", "uas", "11:0:0:0", 0, "sg9", "deleted"}, -1},
    };
    for (const auto& device : devices) {
      const std::string devpath = sysfs.AddScsiDevice(device.shape);
      if (device.listedAs >= 0)
        expected.push_back(
            MakeDevicePath(Attachment(device.listedAs), devpath, sysfs.Token(devpath)));
    }
    sysfs.AddNvmeDisk("/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0", "nvme0n1");
    // Ordered by host:channel:target:lun as numbers (12 after 9, 7:0:0:1 after 7:0:0:0).
    expected = {expected[5], expected[6], expected[0], expected[1],
                expected[3], expected[2], expected[4], expected[7]};
  }
};

TEST(SysfsDiskSource, ListsEveryScsiDiskWithAnSgNodeByItsAttachment) {
  Machine machine;
  SysfsDiskSource source(machine.sysfs.Sys());
  std::vector<DiskInterface> interfaces;
  ASSERT_TRUE(source.ListDiskInterfaces(interfaces));
  std::vector<std::string> paths;
  for (const DiskInterface& disk : interfaces) {
    ASSERT_TRUE(disk.path.has_value());
    paths.push_back(*disk.path);
  }
  EXPECT_EQ(paths, machine.expected);
  EXPECT_EQ(
      paths[2],
      "uas-scsi:/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0#d2");
  EXPECT_EQ(
      paths[3],
      "usbsto:/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host7/target7:0:0/7:0:0:0#d3");
  // The USB vendor id comes with USB disks only (the fake writes 3c9f unless told otherwise).
  std::vector<std::optional<std::uint16_t>> vendors;
  for (const DiskInterface& disk : interfaces) vendors.push_back(disk.usbVendorId);
  const std::optional<std::uint16_t> none, ours = 0x3C9F, stick = 0x0781;
  EXPECT_EQ(vendors, (std::vector{none, none, ours, ours, ours, stick, none, ours}));
  for (const DiskInterface& disk : interfaces) {  // the product id comes from the same device
    EXPECT_EQ(disk.usbProductId, disk.usbVendorId ? std::optional<std::uint16_t>(0x2602) : none);
  }
}

TEST(SysfsDiskSource, TellsAMissingListFromAnEmptyOne) {
  FakeSysfs sysfs;
  std::vector<DiskInterface> interfaces;
  EXPECT_TRUE(SysfsDiskSource(sysfs.Sys()).ListDiskInterfaces(interfaces));  // no SCSI disk at all
  EXPECT_TRUE(interfaces.empty());
  std::filesystem::remove_all(sysfs.Sys() / "bus" / "scsi");  // SCSI layer not loaded
  EXPECT_TRUE(SysfsDiskSource(sysfs.Sys()).ListDiskInterfaces(interfaces));
  EXPECT_FALSE(SysfsDiskSource(sysfs.Sys() / "absent").ListDiskInterfaces(interfaces));  // no sysfs
  EXPECT_TRUE(interfaces.empty());
}

}  // namespace
}  // namespace corvane::device::linuxdev
