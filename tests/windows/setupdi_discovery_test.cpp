// The SetupDi disk source under the portable discovery, over the emulated stack with the
// simulator's adaptors behind it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device/bridge_commands.h"
#include "device/device_discovery.h"
#include "device/platform.h"
#include "device/windows/emulated_win_api.h"
#include "device/windows/setupdi_disk_source.h"
#include "device/windows/win_host_services.h"
#include "device/windows/win_scsi_port.h"
#include "sim/scenario.h"
#include "sim/windows_interface_paths.h"

namespace corvane::device::windows::testing {
namespace {

using sim::Bus;
using sim::ChipFamily;
using sim::DeviceConfig;

DeviceConfig Device(ChipFamily family, Bus bus, bool pathUnreadable = false) {
  DeviceConfig config = sim::DefaultDeviceConfig(family);
  config.bus = bus;
  config.pathUnreadable = pathUnreadable;
  return config;
}

// A simulated world seen through the emulated Windows, with the Windows backend installed.
struct SimulatedWindows {
  explicit SimulatedWindows(std::vector<DeviceConfig> devices)
      : scenario(sim::ScenarioOf(std::move(devices))),
        world(scenario, clock),
        lister(sim::WindowsDiskLister(scenario, world)),
        api([this] { return edit ? edit(lister()) : lister(); }, world.Port()) {}

  // Paths of the simulator's devices that were sent any command.
  std::set<std::string> Asked() const {
    std::set<std::string> asked;
    for (const auto& entry : world.Trace()) asked.insert(entry.path);
    return asked;
  }
  std::string WindowsPath(std::size_t index) const {
    return sim::WindowsInterfacePath(*scenario.devices[index], index);
  }
  int Enumerate(int include1394) {
    ScopedPlatform installed(Platform{&port, &source, &host});
    const int count = EnumBridgeDevices(slots, include1394);
    admitted.clear();
    for (int i = 0; i < count; ++i) admitted.emplace_back(slots[i].data());
    return count;
  }

  sim::Scenario scenario;
  sim::VirtualClock clock;
  sim::SimWorld world;
  EmulatedDiskLister lister;
  std::function<std::vector<EmulatedDisk>(std::vector<EmulatedDisk>)> edit;
  EmulatedWinApi api;
  WinScsiPort port{api};
  SetupDiDiskSource source{api};
  WinHostServices host{api};
  std::vector<DevicePathSlot> slots = std::vector<DevicePathSlot>(kScanPathSlots);
  std::vector<std::string> admitted;
};

TEST(SetupDiDiscovery, AClassListThatCannotBeHadFindsNothingAndSendsNothing) {
  SimulatedWindows windows({Device(ChipFamily::Kts260, Bus::Usb)});
  windows.api.Configure().classListFails = true;
  EXPECT_EQ(windows.Enumerate(1), 0);
  EXPECT_TRUE(windows.api.Log().opens.empty());
  EXPECT_TRUE(windows.world.Trace().empty());
  EXPECT_TRUE(windows.api.Log().globalAllocs.empty());
}

TEST(SetupDiDiscovery, AsksSetupDiExactlyAsWindowsWantsAndReleasesEverything) {
  SimulatedWindows windows(
      {Device(ChipFamily::Kts260, Bus::Usb), Device(ChipFamily::Kts210, Bus::Uas)});
  EXPECT_EQ(windows.Enumerate(1), 2);
  const auto& log = windows.api.Log();

  ASSERT_EQ(log.classLists.size(), 1u);
  EXPECT_EQ(std::memcmp(&log.classLists[0].classGuid, &DiskInterfaceClass(), sizeof(GUID)), 0);
  EXPECT_EQ(log.classLists[0].flags, 0x12u);
  EXPECT_FALSE(log.classLists[0].enumerator);
  EXPECT_FALSE(log.classLists[0].parent);

  ASSERT_EQ(log.globalAllocs.size(), 1u);
  EXPECT_EQ(log.globalAllocs[0].first, 0x40u);
  EXPECT_EQ(log.globalAllocs[0].second, 1024u);

  EXPECT_EQ(log.enumIndexes, (std::vector<DWORD>{0, 1, 2}));  // 2 is the end of the list
  ASSERT_EQ(log.details.size(), 2u);
  for (const auto& detail : log.details) {
    EXPECT_EQ(detail.sizeField, sizeof(void*) == 4 ? 5u : 8u);
    EXPECT_EQ(detail.bufferSize, 1024u);
    EXPECT_FALSE(detail.requiredSize);
    EXPECT_FALSE(detail.deviceInfo);
  }
  EXPECT_EQ(windows.admitted,
            (std::vector<std::string>{windows.WindowsPath(0), windows.WindowsPath(1)}));
  EXPECT_EQ(windows.api.OpenClassLists(), 0u);
  EXPECT_EQ(windows.api.OutstandingGlobalBlocks(), 0u);
  EXPECT_EQ(windows.api.OpenHandles(), 0u);
}

TEST(SetupDiDiscovery, TheWalkEndsAtTheFirstPathThatCannotBeRead) {
  struct Row {
    const char* name;
    bool scenarioUnreadable;       // the simulator's device 2 hides its path
    std::optional<DWORD> failsAt;  // or SetupDi fails the detail of index 2
  };
  for (const Row& row :
       {Row{"unreadable path", true, std::nullopt}, Row{"detail call fails", false, DWORD{2}}}) {
    SCOPED_TRACE(row.name);
    std::vector<DeviceConfig> devices;
    for (int i = 0; i < 5; ++i) {
      devices.push_back(Device(ChipFamily::Kts260, Bus::Usb, i == 2 && row.scenarioUnreadable));
    }
    SimulatedWindows windows(devices);
    windows.api.Configure().detailFailsAt = row.failsAt;
    EXPECT_EQ(windows.Enumerate(1), 2);
    EXPECT_EQ(windows.admitted,
              (std::vector<std::string>{windows.WindowsPath(0), windows.WindowsPath(1)}));
    EXPECT_EQ(windows.api.Log().enumIndexes, (std::vector<DWORD>{0, 1, 2}));
    EXPECT_EQ(windows.Asked(),
              (std::set<std::string>{windows.world.PathOf(0), windows.world.PathOf(1)}));
    EXPECT_EQ(windows.api.OpenClassLists(), 0u);
    EXPECT_EQ(windows.api.OutstandingGlobalBlocks(), 0u);
  }
}

TEST(SetupDiDiscovery, CandidatesByTheWindowsPathAsGiven) {
  // 0 bulk-only, 1 UAS, 2 1394, 3 internal disk, 4 bulk-only whose path Windows gives in upper
  // case only: every one of them is a bridge that would answer.
  std::vector<DeviceConfig> devices = {
      Device(ChipFamily::Kts260, Bus::Usb), Device(ChipFamily::Kts210, Bus::Uas),
      Device(ChipFamily::Kts210, Bus::Ieee1394), Device(ChipFamily::Kts260, Bus::Internal),
      Device(ChipFamily::Kts260, Bus::Usb)};
  const auto upperCaseLast = [](std::vector<EmulatedDisk> disks) {
    std::string& path = disks.back().interfacePath;
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return disks;
  };
  struct Row {
    int include1394;
    std::vector<std::size_t> admitted;
  };
  for (const Row& row : {Row{1, {0, 1, 2}}, Row{0, {0, 1}}}) {
    SCOPED_TRACE(row.include1394);
    SimulatedWindows windows(devices);
    windows.edit = upperCaseLast;
    EXPECT_EQ(windows.Enumerate(row.include1394), static_cast<int>(row.admitted.size()));
    std::vector<std::string> expected;
    std::set<std::string> asked;
    for (const std::size_t i : row.admitted) {
      expected.push_back(windows.WindowsPath(i));
      asked.insert(windows.world.PathOf(i));
    }
    EXPECT_EQ(windows.admitted, expected);
    EXPECT_EQ(windows.Asked(), asked);  // the others are not even opened
  }
}

TEST(SetupDiDiscovery, TheScansLowerCasedPathReachesAnUpperCaseInterface) {
  SimulatedWindows windows({Device(ChipFamily::Kts260, Bus::Usb)});
  windows.edit = [](std::vector<EmulatedDisk> disks) {
    disks[0].interfacePath = "\\\\?\\usbstor#DISK&VEN_CORVANE&PROD_KTS260_NVME#3C9F&0#{53F56307}";
    return disks;
  };
  ASSERT_EQ(windows.Enumerate(1), 1);
  EXPECT_EQ(windows.admitted[0],
            "\\\\?\\usbstor#DISK&VEN_CORVANE&PROD_KTS260_NVME#3C9F&0#{53F56307}");
  std::string lower = windows.admitted[0];
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  windows.world.ClearTrace();
  ScopedPlatform installed(Platform{&windows.port, &windows.source, &windows.host});
  std::uint8_t word[2] = {};
  EXPECT_EQ(ReadChipIdWord(lower, word), 1);
  ASSERT_EQ(windows.world.Trace().size(), 1u);
  EXPECT_EQ(windows.world.Trace()[0].path, windows.world.PathOf(0));
}

}  // namespace
}  // namespace corvane::device::windows::testing
