#include "device/linux/uevent_monitor.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace corvane::device::linuxdev {
namespace {

using namespace std::string_literals;
using Code = std::uint32_t;

std::optional<Code> MapMessage(const std::string& message) {
  const std::optional<Uevent> event = ParseUevent(message);
  return event ? MapUevent(*event) : std::nullopt;
}

// Shaped like what the kernel sends when an enclosure on usb2 port 1 comes and goes.
const std::string kUsbDevice = "/devices/pci0000:00/0000:00:14.0/usb2/2-1";
const std::string kScsiDevice = kUsbDevice + "/2-1:1.0/host6/target6:0:0/6:0:0:0";

std::string Message(const std::string& action, const std::string& devpath,
                    const std::string& rest) {
  return action + "@" + devpath + "\0ACTION="s + action + "\0DEVPATH="s + devpath + "\0"s + rest +
         "SEQNUM=4711\0"s;
}

TEST(Uevent, MapsRemovalsAndNodeChangesOnly) {
  const struct {
    std::string message;
    std::optional<Code> code;
  } cases[] = {
      {Message("remove", kUsbDevice, "SUBSYSTEM=usb\0DEVTYPE=usb_device\0PRODUCT=3c9f/210/100\0"s),
       kDbtDeviceRemoveComplete},
      {Message("remove", kScsiDevice, "SUBSYSTEM=scsi\0DEVTYPE=scsi_device\0"s),
       kDbtDeviceRemoveComplete},
      {Message("add", kScsiDevice + "/block/sdb", "SUBSYSTEM=block\0DEVNAME=sdb\0DEVTYPE=disk\0"s),
       kDbtDevNodesChanged},
      {Message("remove", kScsiDevice + "/block/sdb",
               "SUBSYSTEM=block\0DEVNAME=sdb\0DEVTYPE=disk\0"s),
       kDbtDevNodesChanged},
      {Message("add", kScsiDevice + "/scsi_generic/sg1", "SUBSYSTEM=scsi_generic\0DEVNAME=sg1\0"s),
       kDbtDevNodesChanged},
      {Message("remove", kScsiDevice + "/scsi_generic/sg1",
               "SUBSYSTEM=scsi_generic\0DEVNAME=sg1\0"s),
       kDbtDevNodesChanged},
      // Arrivals of devices, interfaces, hosts, partitions and media changes start no rescan.
      {Message("add", kUsbDevice, "SUBSYSTEM=usb\0DEVTYPE=usb_device\0"s), std::nullopt},
      {Message("remove", kUsbDevice + "/2-1:1.0", "SUBSYSTEM=usb\0DEVTYPE=usb_interface\0"s),
       std::nullopt},
      {Message("remove", kUsbDevice + "/2-1:1.0/host6", "SUBSYSTEM=scsi\0DEVTYPE=scsi_host\0"s),
       std::nullopt},
      {Message("add", kScsiDevice + "/block/sdb/sdb1", "SUBSYSTEM=block\0DEVTYPE=partition\0"s),
       std::nullopt},
      {Message("change", kScsiDevice + "/block/sdb",
               "SUBSYSTEM=block\0DEVTYPE=disk\0DISK_MEDIA_CHANGE=1\0"s),
       std::nullopt},
      {Message("unbind", kUsbDevice + "/2-1:1.0",
               "SUBSYSTEM=usb\0DEVTYPE=usb_interface\0DRIVER=uas\0"s),
       std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MapMessage(c.message), c.code) << c.message.substr(0, c.message.find('\0'));
}

TEST(Uevent, RefusesWhatIsNoKernelMessage) {
  const std::string refused[] = {
      ""s,
      "libudev\0\xfe\xed\xca\xfe"s + "SUBSYSTEM=block\0"s,  // the udev daemon's re-broadcast
      "remove\0SUBSYSTEM=usb\0"s,                           // no header
      "remove@\0SUBSYSTEM=usb\0"s,
      "@/devices/x\0"s,
      "remove@devices/x\0"s,
      "remove@/devices/x\0ACTION=add\0"s,  // header and values disagree
      "remove@/devices/x\0DEVPATH=/devices/y\0"s,
  };
  for (const std::string& message : refused)
    EXPECT_FALSE(ParseUevent(message).has_value()) << message;

  // A message cut short of its last NUL still reads; a line without '=' is skipped.
  const auto event = ParseUevent("add@/devices/x\0junk\0SUBSYSTEM=block\0DEVTYPE=disk"s);
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->action, "add");
  EXPECT_EQ(event->devpath, "/devices/x");
  EXPECT_EQ(event->values.at("DEVTYPE"), "disk");
  EXPECT_EQ(event->values.count("junk"), 0u);
}

TEST(Uevent, DrainsEveryPendingMessageWithoutBlocking) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM, 0, pair), 0);
  const std::string messages[] = {
      Message("remove", kScsiDevice, "SUBSYSTEM=scsi\0DEVTYPE=scsi_device\0"s),
      Message("add", kUsbDevice, "SUBSYSTEM=usb\0DEVTYPE=usb_device\0"s),
      Message("remove", kScsiDevice + "/scsi_generic/sg1", "SUBSYSTEM=scsi_generic\0"s),
  };
  for (const std::string& m : messages)
    ASSERT_EQ(::send(pair[1], m.data(), m.size(), 0), ssize_t(m.size()));

  std::vector<Code> codes;
  DrainUevents(pair[0], true, codes);
  EXPECT_EQ(codes, (std::vector<Code>{kDbtDeviceRemoveComplete, kDbtDevNodesChanged}));

  // Nobody but the kernel may speak on the real socket: a local sender is not heard.
  for (const std::string& m : messages)
    ASSERT_EQ(::send(pair[1], m.data(), m.size(), 0), ssize_t(m.size()));
  codes.clear();
  DrainUevents(pair[0], false, codes);
  EXPECT_TRUE(codes.empty());
  ::close(pair[0]);
  ::close(pair[1]);
}

}  // namespace
}  // namespace corvane::device::linuxdev
