// The backend over the real Windows calls, as far as Wine has them: no adaptor, no crash.
#include <gtest/gtest.h>

#include <vector>

#include "device/device_discovery.h"
#include "device/platform.h"
#include "device/windows/setupdi_disk_source.h"
#include "device/windows/win_host_services.h"
#include "device/windows/win_scsi_port.h"
#include "device/windows/win_system_devices.h"

namespace corvane::device::windows {
namespace {

bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(SystemWinApiSmoke, ListsWinesDisksAndFindsNoBridge) {
  if (!UnderWine()) GTEST_SKIP() << "only under Wine, which has no drive adaptor";
  SetupDiDiskSource source(SystemApi());
  std::vector<DiskInterface> interfaces;
  ASSERT_TRUE(source.ListDiskInterfaces(interfaces));
  for (const DiskInterface& disk : interfaces) {
    ASSERT_TRUE(disk.path.has_value());
    ::testing::Test::RecordProperty("disk", *disk.path);
  }

  auto devices = OpenSystemDevices();
  ScopedPlatform installed(devices->AsPlatform());
  std::vector<DevicePathSlot> slots(kScanPathSlots);
  EXPECT_EQ(EnumBridgeDevices(slots, 1), 0);
}

TEST(SystemWinApiSmoke, APathThatIsNoDeviceIsNotOpened) {
  if (!UnderWine()) GTEST_SKIP() << "only under Wine";
  WinScsiPort port(SystemApi());
  std::vector<std::uint8_t> record(1068);
  const std::uint8_t cdb[12] = {0x12};
  ScsiRequest request;
  request.cdb = cdb;
  request.record = record;
  const ScsiOutcome outcome = port.Execute("\\\\?\\usbstor#no_such_disk#{53f56307}", request);
  EXPECT_FALSE(outcome.opened);
  EXPECT_NE(outcome.platformError, 0u);
}

}  // namespace
}  // namespace corvane::device::windows
