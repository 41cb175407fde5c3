#include "device/linux/sg_scsi_port.h"

#include <fcntl.h>
#include <scsi/sg.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "device/linux/device_path.h"
#include "tests/linux/fake_sg_system.h"
#include "tests/linux/fake_sysfs.h"

namespace corvane::device::linuxdev {
namespace {

using testing::FakeSgSystem;
using testing::FakeSysfs;
using testing::ScsiDeviceShape;

struct PortFixture : ::testing::Test {
  FakeSysfs sysfs;
  FakeSgSystem system;
  SgScsiPort port{sysfs.Sys(), sysfs.Dev(), system};
  std::string uasDevpath = sysfs.AddScsiDevice(
      {"/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0", "uas", "6:0:0:0", 0, "sg1"});
  std::string uasPath = MakeDevicePath(Attachment::Uas, uasDevpath, sysfs.Token(uasDevpath));
  std::array<std::uint8_t, 12> cdb{0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0};
  std::vector<std::uint8_t> data = std::vector<std::uint8_t>(512);

  ScsiRequest Request(DataDirection direction, std::size_t length, OpenMode mode,
                      std::uint32_t seconds) {
    return ScsiRequest{cdb,     direction, std::span<std::uint8_t>(data.data(), length),
                       seconds, mode,      {}};
  }
  void TearDown() override { EXPECT_EQ(system.openFds, 0) << "a node was left open"; }
};

TEST_F(PortFixture, MapsEachRequestOntoSgIoAndReadsTheResultBack) {
  struct Case {
    const char* name;
    DataDirection direction;
    std::size_t length;
    OpenMode mode;
    std::uint32_t seconds;
    int ioctlError;
    std::uint8_t status;
    std::uint16_t hostStatus, driverStatus;
    int resid;
    // expected
    int sgDirection, openFlags;
    bool carriedOut;
    std::uint32_t platformError, transferred;
  };
  constexpr int kShared = O_RDWR | O_NONBLOCK;
  constexpr int kExclusive = O_RDWR | O_EXCL | O_NONBLOCK;
  const Case cases[] = {
      {"data in", DataDirection::In, 36, OpenMode::Shared, 10, 0, 0, 0, 0, 0, SG_DXFER_FROM_DEV,
       kShared, true, 0, 36},
      {"data out, exclusive", DataDirection::Out, 512, OpenMode::Exclusive, 50, 0, 0, 0, 0, 0,
       SG_DXFER_TO_DEV, kExclusive, true, 0, 512},
      {"no data", DataDirection::In, 0, OpenMode::Shared, 10, 0, 0, 0, 0, 0, SG_DXFER_NONE, kShared,
       true, 0, 0},
      {"short answer", DataDirection::In, 512, OpenMode::Shared, 10, 0, 0, 0, 0, 500,
       SG_DXFER_FROM_DEV, kShared, true, 0, 12},
      {"residue beyond length", DataDirection::In, 512, OpenMode::Shared, 10, 0, 0, 0, 0, 600,
       SG_DXFER_FROM_DEV, kShared, true, 0, 0},
      {"negative residue", DataDirection::In, 8, OpenMode::Shared, 10, 0, 0, 0, 0, -4,
       SG_DXFER_FROM_DEV, kShared, true, 0, 8},
      {"check condition with sense", DataDirection::In, 16, OpenMode::Shared, 10, 0, 2, 0, 0x08, 16,
       SG_DXFER_FROM_DEV, kShared, true, 0, 0},
      {"host time-out", DataDirection::Out, 16, OpenMode::Exclusive, 50, 0, 0, 0x03, 0, 16,
       SG_DXFER_TO_DEV, kExclusive, true, ETIMEDOUT, 0},
      {"host lost the device", DataDirection::In, 16, OpenMode::Shared, 10, 0, 0, 0x01, 0, 16,
       SG_DXFER_FROM_DEV, kShared, true, EIO, 0},
      {"driver time-out", DataDirection::In, 16, OpenMode::Shared, 10, 0, 0, 0, 0x06, 16,
       SG_DXFER_FROM_DEV, kShared, true, ETIMEDOUT, 0},
      {"driver error with sense", DataDirection::In, 16, OpenMode::Shared, 10, 0, 2, 0, 0x0C, 16,
       SG_DXFER_FROM_DEV, kShared, true, EIO, 0},
      {"ioctl refused", DataDirection::In, 16, OpenMode::Shared, 10, EIO, 0, 0, 0, 0,
       SG_DXFER_FROM_DEV, kShared, false, EIO, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    system.opens.clear();
    system.requests.clear();
    system.ioctlError = c.ioctlError;
    system.answer.status = c.status;
    system.answer.host_status = c.hostStatus;
    system.answer.driver_status = c.driverStatus;
    system.answer.resid = c.resid;

    const ScsiOutcome outcome =
        port.Execute(uasPath, Request(c.direction, c.length, c.mode, c.seconds));
    ASSERT_EQ(system.opens.size(), 1u);
    EXPECT_EQ(system.opens[0].first, "sg1");
    EXPECT_EQ(system.opens[0].second, c.openFlags);
    ASSERT_EQ(system.requests.size(), 1u);
    const sg_io_hdr& sent = system.requests[0];
    EXPECT_EQ(sent.interface_id, 'S');
    EXPECT_EQ(sent.dxfer_direction, c.sgDirection);
    EXPECT_EQ(sent.dxfer_len, c.length);
    EXPECT_EQ(sent.dxferp,
              c.length == 0 ? nullptr : data.data());  // the transport's buffer, as given
    EXPECT_EQ(sent.timeout, c.seconds * 1000);
    EXPECT_EQ(sent.mx_sb_len, 0);
    EXPECT_EQ(system.cdbs[0], std::vector<std::uint8_t>(cdb.begin(), cdb.end()));

    EXPECT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.carriedOut, c.carriedOut);
    EXPECT_EQ(outcome.platformError, c.platformError);
    EXPECT_EQ(outcome.scsiStatus, c.status);
    EXPECT_EQ(outcome.transferred, c.transferred);
  }
}

TEST_F(PortFixture, AFailedOpenSendsNothingAndSaysWhy) {
  const std::pair<int, bool> cases[] = {
      {EBUSY, false}, {EACCES, true}, {EPERM, true}, {ENOENT, false}};
  for (const auto& [error, denied] : cases) {
    system.openErrors["sg1"] = error;
    const ScsiOutcome outcome =
        port.Execute(uasPath, Request(DataDirection::Out, 4, OpenMode::Exclusive, 50));
    EXPECT_FALSE(outcome.opened) << error;
    EXPECT_EQ(outcome.platformError, static_cast<std::uint32_t>(error));
    EXPECT_EQ(outcome.accessDenied, denied) << error;
  }
  EXPECT_TRUE(system.requests.empty());
}

TEST_F(PortFixture, ResolvesTheLowerCasedPathOfTheSameDeviceOnly) {
  const std::string acpi = sysfs.AddScsiDevice(
      {"/devices/platform/PNP0D10:00/usb3/3-1/3-1:1.0", "usb-storage", "12:0:0:0", 0, "sg8"});
  const std::string ata =
      sysfs.AddScsiDevice({"/devices/pci0000:00/0000:00:1f.2/ata1", "", "0:0:0:0", 0, "sg0"});
  sysfs.AddScsiDevice(
      {"/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0", "usb-storage", "10:0:0:0", 0, ""});
  std::string lowered = MakeDevicePath(Attachment::BulkOnly, acpi, sysfs.Token(acpi));
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  const std::pair<std::string, const char*> cases[] = {
      {lowered, "sg8"},
      {MakeDevicePath(Attachment::Uas, uasDevpath), "sg1"},  // a path without token: no check
      // The device was plugged in again since the path was made.
      {MakeDevicePath(Attachment::Uas, uasDevpath, "d99"), nullptr},
      {MakeDevicePath(Attachment::Internal, ata), "sg0"},
      // The path claims another attachment than the device now has.
      {MakeDevicePath(Attachment::BulkOnly, ata), nullptr},
      {"usbsto:/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0",
       nullptr},
      {"usbsto:/devices/pci0000:00/0000:00:14.0/usb1/1-9/1-9:1.0/host13/target13:0:0/13:0:0:0",
       nullptr},
      {"usbsto:/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/host10/target10:0:0/10:0:0:0",
       nullptr},  // no sg
      {"uas-scsi:/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/driver",
       nullptr},  // a link out of the tree
      {"/dev/sg1", nullptr},
  };
  for (const auto& [path, node] : cases) {
    system.opens.clear();
    const ScsiOutcome outcome =
        port.Execute(path, Request(DataDirection::In, 4, OpenMode::Shared, 10));
    EXPECT_EQ(outcome.opened, node != nullptr) << path;
    if (node != nullptr) {
      ASSERT_EQ(system.opens.size(), 1u) << path;
      EXPECT_EQ(system.opens[0].first, node);
    } else {
      EXPECT_TRUE(system.opens.empty()) << path;
      EXPECT_NE(outcome.platformError, 0u) << path;
    }
  }
}

// sg numbers come back after a re-plug: a node that turns out to belong to another device is
// closed again before anything is sent.
TEST_F(PortFixture, NeverSendsToANodeThatIsNoLongerThisDevice) {
  // Each happens between the look-up and the open; the last one leaves no device behind.
  const std::function<void()> swaps[] = {
      // /dev/sg1 is not the character device sysfs names.
      [&] { system.minorOf["sg1"] = 7; },
      // Pulled and plugged in again (or another device) at the same place, holding sg1 again.
      [&] { sysfs.Replug(uasDevpath); },
      // Unplugged; another device took sg1.
      [&] { std::filesystem::remove_all(sysfs.Dir("/devices/pci0000:00/0000:00:14.0/usb2/2-1")); },
  };
  for (const auto& swap : swaps) {
    system.opens.clear();
    system.minorOf.clear();
    system.onOpen = swap;
    const ScsiOutcome outcome =
        port.Execute(uasPath, Request(DataDirection::Out, 4, OpenMode::Exclusive, 50));
    EXPECT_EQ(system.opens.size(), 1u);  // refused after the open, not before it
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.platformError, static_cast<std::uint32_t>(ENODEV));
    uasPath = MakeDevicePath(Attachment::Uas, uasDevpath, sysfs.Token(uasDevpath));
  }
  EXPECT_TRUE(system.requests.empty());
}

TEST_F(PortFixture, RefusesACommandBlockSgCannotCarry) {
  std::array<std::uint8_t, 17> tooLong{};
  for (std::span<const std::uint8_t> block :
       {std::span<const std::uint8_t>(tooLong), std::span<const std::uint8_t>()}) {
    ScsiRequest request = Request(DataDirection::In, 4, OpenMode::Shared, 10);
    request.cdb = block;
    const ScsiOutcome outcome = port.Execute(uasPath, request);
    EXPECT_TRUE(outcome.opened);
    EXPECT_FALSE(outcome.carriedOut);
    EXPECT_EQ(outcome.platformError, static_cast<std::uint32_t>(EINVAL));
  }
  EXPECT_TRUE(system.requests.empty());
}

// The port remembers what a path resolved to. Whatever happened to the device between two
// commands, the second command must reach the device the path names or nothing at all, and a
// path whose device is still there must find it again.
TEST(SgScsiPortMemory, ARememberedPathReachesItsDeviceOrNothing) {
  namespace fs = std::filesystem;
  struct World {
    FakeSysfs sysfs;
    FakeSgSystem system;
    SgScsiPort port{sysfs.Sys(), sysfs.Dev(), system};
    std::string devpath = sysfs.AddScsiDevice(
        {"/devices/platform/dummy_hcd.0/usb3/3-1/3-1:1.0", "usb-storage", "6:0:0:0", 0, "sg1"});
    fs::path sgDir() const { return sysfs.Dir(devpath) / "scsi_generic"; }
    // The device's node becomes sgN (the kernel numbers sg nodes afresh at every attach).
    void Renumber(int n) { sysfs.MoveSgNode(devpath, "sg" + std::to_string(n)); }
    void Rebind(const std::string& driver) {
      const fs::path link = sysfs.Dir("/devices/platform/dummy_hcd.0/usb3/3-1/3-1:1.0") / "driver";
      const fs::path target = sysfs.Sys() / "bus" / "usb" / "drivers" / driver;
      fs::create_directories(target);
      fs::remove(link);
      fs::create_directory_symlink(target.lexically_relative(link.parent_path()), link);
      sysfs.Recreate(devpath);  // a new driver makes a new SCSI host, device and sg node
    }
  };
  struct Case {
    const char* name;
    std::function<void(World&)> change;  // between the first command and the second
    const char* node;                    // where the second command goes; nullptr: nowhere
    std::uint32_t error;
    bool fullLookup;  // the second command had to resolve the path again
    // Nodes the second command opened: never one its device no longer lists.
    std::size_t opens;
    // Refused: opens made by a third command, which must not try the dropped target first.
    std::size_t opensWhenRefusedAgain = 0;
  };
  const Case cases[] = {
      {"nothing changed", [](World&) {}, "sg1", 0, false, 1, 0},
      {"re-plugged: same place, sg1 again, new plug token", [](World& w) { w.sysfs.Replug(w.devpath); },
       nullptr, ENODEV, true, 0, 0},
      {"sg1 went to another device, this one has none",
       [](World& w) {
         fs::remove_all(w.sgDir());
         w.sysfs.AddScsiDevice(
             {"/devices/platform/dummy_hcd.1/usb4/4-1/4-1:1.0", "usb-storage", "7:0:0:0", 0, "sg1"});
       },
       nullptr, ENODEV, true, 0, 0},
      {"/dev/sg1 is now another character device", [](World& w) { w.system.minorOf["sg1"] = 9; },
       nullptr, ENODEV, true, 2, 1},
      {"unplugged", [](World& w) { w.sysfs.Remove("/devices/platform/dummy_hcd.0/usb3"); },
       nullptr, ENODEV, true, 0, 0},
      {"same place, same token, now behind another driver",
       [](World& w) { w.Rebind("uas"); }, nullptr, ENODEV, true, 0, 0},
      {"new sg number, same plug token", [](World& w) { w.Renumber(4); }, "sg4", 0, true, 1, 0},
      {"new sg number and sg1 taken by another device",
       [](World& w) {
         w.Renumber(5);
         w.sysfs.AddScsiDevice(
             {"/devices/platform/dummy_hcd.1/usb4/4-1/4-1:1.0", "usb-storage", "7:0:0:0", 0, "sg1"});
       },
       "sg5", 0, true, 1, 0},
      {"the node is busy", [](World& w) { w.system.openErrors["sg1"] = EBUSY; }, nullptr, EBUSY,
       true, 2, 1},
  };
  std::array<std::uint8_t, 6> testUnitReady{};
  const ScsiRequest request{testUnitReady, DataDirection::In, {}, 10, OpenMode::Shared, {}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    const std::string path =
        MakeDevicePath(Attachment::BulkOnly, w.devpath, w.sysfs.Token(w.devpath));
    ASSERT_TRUE(w.port.Execute(path, request).carriedOut);
    ASSERT_EQ(w.port.FullLookups(), 1u);

    c.change(w);
    w.system.opens.clear();
    w.system.requests.clear();
    const ScsiOutcome outcome = w.port.Execute(path, request);
    EXPECT_EQ(outcome.carriedOut, c.node != nullptr);
    EXPECT_EQ(outcome.platformError, c.error);
    EXPECT_EQ(w.port.FullLookups(), c.fullLookup ? 2u : 1u);
    EXPECT_EQ(w.system.opens.size(), c.opens);
    if (c.node == nullptr) {
      EXPECT_TRUE(w.system.requests.empty()) << "a command reached a node of another device";
      w.system.opens.clear();
      EXPECT_FALSE(w.port.Execute(path, request).opened);
      EXPECT_EQ(w.system.opens.size(), c.opensWhenRefusedAgain);
      EXPECT_EQ(w.port.FullLookups(), 3u);
    } else {
      ASSERT_EQ(w.system.requests.size(), 1u);
      ASSERT_FALSE(w.system.opens.empty());
      EXPECT_EQ(w.system.opens.back().first, c.node);
      // Found again, the target is remembered once more: the next command needs no look-up.
      w.system.opens.clear();
      EXPECT_TRUE(w.port.Execute(path, request).carriedOut);
      ASSERT_EQ(w.system.opens.size(), 1u);
      EXPECT_EQ(w.system.opens[0].first, c.node);
      EXPECT_EQ(w.port.FullLookups(), c.fullLookup ? 2u : 1u);
    }
    EXPECT_EQ(w.system.openFds, 0) << "a node was left open";
  }
}

// The remembered target's checks pass before the open, and the device is swapped while the node
// is being opened: the data-out command must still reach nothing.
TEST(SgScsiPortMemory, ADeviceSwappedDuringTheOpenOfARememberedPathGetsNothing) {
  namespace fs = std::filesystem;
  const std::string place = "/devices/platform/dummy_hcd.0/usb3/3-1/3-1:1.0";
  struct Case {
    const char* name;
    std::function<void(FakeSysfs&, const std::string& devpath)> swap;
  };
  const Case cases[] = {
      {"re-plugged at the same place, sg1 again", [](FakeSysfs& s, const std::string& d) { s.Replug(d); }},
      {"unplugged, another adaptor elsewhere took sg1",
       [](FakeSysfs& s, const std::string&) {
         s.Remove("/devices/platform/dummy_hcd.0/usb3");
         s.AddScsiDevice({"/devices/platform/dummy_hcd.1/usb4/4-1/4-1:1.0", "usb-storage", "7:0:0:0", 0, "sg1"});
       }},
      {"rebound to another driver, same plug token",
       [&](FakeSysfs& s, const std::string& d) {
         const fs::path uas = s.Sys() / "bus" / "usb" / "drivers" / "uas";
         fs::create_directories(uas);
         fs::remove(s.Dir(place) / "driver");
         fs::create_directory_symlink(uas.lexically_relative(s.Dir(place)), s.Dir(place) / "driver");
         s.Recreate(d);
       }},
  };
  std::array<std::uint8_t, 10> writeBuffer{0x3B, 0x0E, 0, 0, 0, 0, 0, 0x04, 0, 0};
  std::vector<std::uint8_t> block(1024);
  const ScsiRequest write{writeBuffer, DataDirection::Out, block, 50, OpenMode::Exclusive, {}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSysfs sysfs;
    FakeSgSystem system;
    SgScsiPort port{sysfs.Sys(), sysfs.Dev(), system};
    const std::string devpath = sysfs.AddScsiDevice({place, "usb-storage", "6:0:0:0", 0, "sg1"});
    const std::string path = MakeDevicePath(Attachment::BulkOnly, devpath, sysfs.Token(devpath));
    ASSERT_TRUE(port.Execute(path, write).carriedOut);
    system.requests.clear();
    bool swapped = false;
    system.onOpen = [&] {
      if (!std::exchange(swapped, true)) c.swap(sysfs, devpath);
    };
    const ScsiOutcome outcome = port.Execute(path, write);
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.platformError, static_cast<std::uint32_t>(ENODEV));
    EXPECT_TRUE(system.requests.empty()) << "a command reached a node of another device";
    EXPECT_EQ(port.FullLookups(), 2u);
    EXPECT_EQ(system.openFds, 0);
  }
}

// A path without a plug token (typed by hand) is not tied to one plug-in, but what it resolved to
// still is: after a re-plug the second command resolves the path again instead of trusting the
// remembered node.
TEST(SgScsiPortMemory, APathWithoutTokenIsLookedUpAgainAfterARePlug) {
  FakeSysfs sysfs;
  FakeSgSystem system;
  SgScsiPort port{sysfs.Sys(), sysfs.Dev(), system};
  const std::string devpath = sysfs.AddScsiDevice(
      {"/devices/platform/dummy_hcd.0/usb3/3-1/3-1:1.0", "usb-storage", "6:0:0:0", 0, "sg1"});
  const std::string path = MakeDevicePath(Attachment::BulkOnly, devpath);
  std::array<std::uint8_t, 6> testUnitReady{};
  const ScsiRequest request{testUnitReady, DataDirection::In, {}, 10, OpenMode::Shared, {}};
  EXPECT_TRUE(port.Execute(path, request).carriedOut);
  EXPECT_TRUE(port.Execute(path, request).carriedOut);
  EXPECT_EQ(port.FullLookups(), 1u);
  sysfs.Replug(devpath);
  EXPECT_TRUE(port.Execute(path, request).carriedOut);
  EXPECT_EQ(port.FullLookups(), 2u);
  EXPECT_EQ(system.openFds, 0);
}

}  // namespace
}  // namespace corvane::device::linuxdev
