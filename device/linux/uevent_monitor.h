// The kernel's device events (uevents), read straight from netlink: no udev daemon needed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/device_events.h"

namespace corvane::device::linuxdev {

struct Uevent {
  std::string action;                         // "add", "remove", "change", "bind", ...
  std::string devpath;                        // "/devices/..."
  std::map<std::string, std::string> values;  // SUBSYSTEM, DEVTYPE, DEVNAME, ...
};

// Reads one kernel message "ACTION@DEVPATH\0KEY=VALUE\0...". Messages of the udev daemon (which
// start with "libudev"), messages whose header and ACTION/DEVPATH values disagree, and anything
// without a header are refused.
std::optional<Uevent> ParseUevent(std::span<const char> message);

// Removal of a USB device or a SCSI device -> kDbtDeviceRemoveComplete; any add or remove of a
// disk (block) or sg node -> kDbtDevNodesChanged; everything else -> nothing.
std::optional<std::uint32_t> MapUevent(const Uevent& event);

// Reads every message waiting on a uevent socket without blocking and appends the codes they map
// to. Messages from anyone but the kernel are dropped unless trustAnySender (tests feed the
// function through a local socket pair). When the kernel had to drop messages because we read
// too slowly, kDbtDevNodesChanged is appended so that the caller rescans rather than misses a
// change.
void DrainUevents(int fd, bool trustAnySender, std::vector<std::uint32_t>& codes);

// The kernel's uevent multicast group 1 on a NETLINK_KOBJECT_UEVENT socket: the Linux source of
// the window's device-change events.
class UeventMonitor : public DeviceEventSource {
 public:
  UeventMonitor();  // opens the socket; Descriptor() is -1 when that failed (see Error())
  ~UeventMonitor() override;
  UeventMonitor(const UeventMonitor&) = delete;
  UeventMonitor& operator=(const UeventMonitor&) = delete;

  // Non-blocking socket to hand to an event loop; readable when messages wait.
  int Descriptor() const override { return fd_; }
  int Error() const { return error_; }
  // poll() on the socket; false on time-out or when a signal interrupted the wait.
  bool Wait(int timeoutMs) override;
  // The codes of every pending message, in arrival order.
  std::vector<std::uint32_t> ReadPending() override;

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace corvane::device::linuxdev
