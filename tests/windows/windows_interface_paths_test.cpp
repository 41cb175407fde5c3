// The simulator's disks under their Windows names, and the emulator's listing of a world.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/scenario.h"
#include "sim/windows_interface_paths.h"

namespace corvane::sim {
namespace {

TEST(WindowsInterfacePath, NamesEachAttachmentTheWayWindowsDoes) {
  struct Row {
    ChipFamily family;
    Bus bus;
    std::size_t index;
    const char* path;
  };
  const Row rows[] = {
      {ChipFamily::Kts260, Bus::Usb, 0,
       "\\\\?\\usbstor#disk&ven_corvane&prod_kts260_nvme&rev_0108#3c9f00000000&0#"
       "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"},
      {ChipFamily::Kts210, Bus::Uas, 1,
       "\\\\?\\scsi#disk&ven_corvane&prod_kts210_sata#4&2e5a0001&0&000000#"
       "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"},
      {ChipFamily::Kts210, Bus::Ieee1394, 2,
       "\\\\?\\sbp2#corvane&kts210_sata&lun0#0030e0f4e0000002#"
       "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"},
      {ChipFamily::InternalDisk, Bus::Internal, 3,
       "\\\\?\\ide#disksim_ssd_256gb___________________________1.0_____#5&1a2b0003&0&0.0.0#"
       "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"},
      {ChipFamily::UsbStick, Bus::Usb, 12,
       "\\\\?\\usbstor#disk&ven_generic&prod_usb_flash_disk&rev_1.00#3c9f0000000c&0#"
       "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    DeviceConfig config = DefaultDeviceConfig(row.family);
    config.bus = row.bus;
    EXPECT_EQ(WindowsInterfacePath(config, row.index), row.path);
  }
}

TEST(WindowsDiskLister, ListsThePluggedDevicesWithTheirSimulatorPaths) {
  DeviceConfig bridge = DefaultDeviceConfig(ChipFamily::Kts260);
  DeviceConfig hidden = bridge;
  hidden.pathUnreadable = true;
  DeviceConfig denied = DefaultDeviceConfig(ChipFamily::Kts210);
  denied.bus = Bus::Uas;
  denied.accessDenied = true;
  const Scenario scenario = ScenarioOf({bridge, hidden, denied, bridge});
  VirtualClock clock;
  SimWorld world(scenario, clock);
  const auto lister = WindowsDiskLister(scenario, world);

  world.Unplug(3);
  std::vector<device::windows::EmulatedDisk> disks = lister();
  ASSERT_EQ(disks.size(), 3u);
  for (std::size_t i = 0; i < disks.size(); ++i) {
    EXPECT_EQ(disks[i].interfacePath, WindowsInterfacePath(*scenario.devices[i], i));
  }
  EXPECT_EQ(disks[0].innerPath, world.PathOf(0));
  EXPECT_FALSE(disks[0].accessDenied);
  EXPECT_EQ(disks[1].innerPath, std::nullopt);
  EXPECT_EQ(disks[2].innerPath, world.PathOf(2));
  EXPECT_TRUE(disks[2].accessDenied);

  world.Replug(3);  // the listing follows the world
  EXPECT_EQ(lister().size(), 4u);
}

}  // namespace
}  // namespace corvane::sim
