// The kernel's device events (uevents), read straight from netlink: no udev daemon needed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvane::linuxdev {

// The two device-change codes the window's watch reacts to.
enum class DeviceChangeCode : std::uint32_t {
  DevNodesChanged = 0x0007,
  DeviceRemoveComplete = 0x8004,
};

struct Uevent {
  std::string action;                         // "add", "remove", "change", "bind", ...
  std::string devpath;                        // "/devices/..."
  std::map<std::string, std::string> values;  // SUBSYSTEM, DEVTYPE, DEVNAME, ...
};

// Reads one kernel message "ACTION@DEVPATH\0KEY=VALUE\0...". Messages of the udev daemon (which
// start with "libudev"), messages whose header and ACTION/DEVPATH values disagree, and anything
// without a header are refused.
std::optional<Uevent> ParseUevent(std::span<const char> message);

// Removal of a USB device or a SCSI device -> DeviceRemoveComplete; any add or remove of a disk
// (block) or sg node -> DevNodesChanged; everything else -> nothing.
std::optional<DeviceChangeCode> MapUevent(const Uevent& event);

// Reads every message waiting on a uevent socket without blocking and appends the codes they map
// to. Messages from anyone but the kernel are dropped unless trustAnySender (tests feed the
// function through a local socket pair). When the kernel had to drop messages because we read
// too slowly, DevNodesChanged is appended so that the caller rescans rather than misses a change.
void DrainUevents(int fd, bool trustAnySender, std::vector<DeviceChangeCode>& codes);

// The kernel's uevent multicast group 1 on a NETLINK_KOBJECT_UEVENT socket.
class UeventMonitor {
 public:
  UeventMonitor();  // opens the socket; Fd() is -1 when that failed (see Error())
  ~UeventMonitor();
  UeventMonitor(const UeventMonitor&) = delete;
  UeventMonitor& operator=(const UeventMonitor&) = delete;

  // Non-blocking socket to hand to an event loop; readable when messages wait.
  int Fd() const { return fd_; }
  int Error() const { return error_; }
  // The codes of every pending message, in arrival order.
  std::vector<DeviceChangeCode> ReadPending();

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace corvane::linuxdev
