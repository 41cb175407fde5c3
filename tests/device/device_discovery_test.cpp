#include "device/device_discovery.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/device/fake_device.h"

namespace corvane::device::testing {
namespace {

// Paths holding "bridge" answer with the signature and the identification word, "sigonly" only
// with the signature, "idonly" only the identification word; every device answers INQUIRY,
// nothing else.
Reply Bridges(const Call& call) {
  const bool bridge = call.path.find("bridge") != std::string::npos;
  const bool sigOnly = call.path.find("sigonly") != std::string::npos;
  const bool idOnly = call.path.find("idonly") != std::string::npos;
  switch (call.cdb[0]) {
    case 0x12: return Reply{};
    case 0xE0: return bridge || sigOnly ? Answer({0xF4, 0xE7, 0x3C, 0x9F}) : Rejected();
    case 0xDF: return bridge || idOnly ? Reply{} : Rejected();
    default: return Rejected();
  }
}

using Path = std::optional<std::string>;

struct DiscoveryRow {
  const char* name;
  std::vector<Path> paths;
  int include1394;
  std::size_t slots;
  std::vector<std::string> admitted;
  std::vector<std::string> asked;  // paths that saw any command, in order
};

TEST(EnumBridgeDevices, CandidatesAdmissionAndBounds) {
  const std::string longPath = "usbsto-bridge-" + std::string(242, 'x');  // 256 characters
  const std::string fitting = longPath.substr(0, 255);
  const std::vector<DiscoveryRow> rows = {
      {"usb stick that rejects vendor commands", {"usbstor#stick"}, 1, 16, {}, {"usbstor#stick"}},
      {"1394 only with the flag", {"sbp2#bridge"}, 0, 16, {}, {}},
      {"1394 with the flag", {"sbp2#bridge"}, 1, 16, {"sbp2#bridge"}, {"sbp2#bridge"}},
      {"internal disk never asked", {"ide#bridge", "nvme#bridge"}, 1, 16, {}, {}},
      {"case-sensitive", {"USBSTOR#bridge", "SCSI#bridge"}, 1, 16, {}, {}},
      {"scsi and id word only", {"scsi#idonly", "usbstor#bridge"}, 1, 16,
       {"scsi#idonly", "usbstor#bridge"}, {"scsi#idonly", "usbstor#bridge"}},
      {"signature alone", {"usbstor#sigonly"}, 1, 16, {"usbstor#sigonly"}, {"usbstor#sigonly"}},
      {"stops at unreadable path", {"usbsto#bridge0", "usbsto#bridge1", std::nullopt,
       "usbsto#bridge3", "usbsto#bridge4"}, 1, 16, {"usbsto#bridge0", "usbsto#bridge1"},
       {"usbsto#bridge0", "usbsto#bridge1"}},
      {"path too long for a slot", {longPath, fitting}, 1, 16, {fitting}, {fitting}},
      {"1000 characters", {"usbstor#bridge" + std::string(986, 'y'), fitting}, 1, 16, {fitting}, {fitting}},
      {"embedded NUL", {std::string("usbsto#\0bridge", 14)}, 1, 16, {}, {}},
      {"stops when slots are full", {"usbsto#bridge0", "usbsto#bridge1", "usbsto#bridge2"}, 1, 2,
       {"usbsto#bridge0", "usbsto#bridge1"}, {"usbsto#bridge0", "usbsto#bridge1"}},
      {"no slots", {"usbsto#bridge0"}, 1, 0, {}, {}},
  };
  for (const DiscoveryRow& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDevice dev;
    dev.port.responder = Bridges;
    for (const Path& p : row.paths) dev.disks.interfaces.push_back({p});
    std::vector<DevicePathSlot> slots(row.slots + 1);
    for (DevicePathSlot& s : slots) s.fill('#');
    const int count = EnumBridgeDevices(std::span(slots.data(), row.slots), row.include1394);
    ASSERT_EQ(count, static_cast<int>(row.admitted.size()));
    for (std::size_t i = 0; i < row.admitted.size(); ++i) EXPECT_EQ(slots[i].data(), row.admitted[i]);
    for (std::size_t i = row.admitted.size(); i < slots.size(); ++i) {
      EXPECT_EQ(slots[i][0], '#') << "slot " << i << " written";
    }
    std::vector<std::string> asked;
    for (const Call& c : dev.port.calls) {
      if (asked.empty() || asked.back() != c.path) asked.push_back(c.path);
    }
    EXPECT_EQ(asked, row.asked);
  }
}

TEST(EnumBridgeDevices, NoListMeansNothing) {
  FakeDevice dev;
  dev.port.responder = Bridges;
  dev.disks.interfaces = {{"usbsto#bridge"}};
  dev.disks.available = false;
  std::vector<DevicePathSlot> slots(2);
  EXPECT_EQ(EnumBridgeDevices(slots, 1), 0);
  ScopedPlatform noDisks{Platform{&dev.port, nullptr, &dev.host}};
  EXPECT_EQ(EnumBridgeDevices(slots, 1), 0);
  EXPECT_TRUE(dev.port.calls.empty());
}

TEST(EnumBridgeDevices, StickCostsThreeCommands) {
  FakeDevice dev;
  dev.port.responder = Bridges;
  dev.disks.interfaces = {{"usbstor#stick"}};
  std::vector<DevicePathSlot> slots(1);
  EXPECT_EQ(EnumBridgeDevices(slots, 1), 0);
  EXPECT_EQ(dev.port.Opcodes(), (std::vector<std::uint8_t>{0x12, 0xE0, 0xDF}));
}

}  // namespace
}  // namespace corvane::device::testing
