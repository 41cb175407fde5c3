// What the emulated Windows storage stack is told about the present disks. Plain standard types,
// so that the simulator can build the listing without any Windows header.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvane::device::windows {

struct EmulatedDisk {
  // The disk's interface path as SetupDi gives it ("\\?\usbstor#disk&ven_...#{53f56307-...}").
  std::string interfacePath;
  // Where its commands go on the emulator's inner port; nullopt when SetupDi cannot read this
  // interface's path (such a disk can be listed but never reached).
  std::optional<std::string> innerPath;
  // CreateFileA refuses the disk with ERROR_ACCESS_DENIED, as for a user without the rights.
  bool accessDenied = false;
};

// The disks present now, in SetupDi's member order. Asked at every class list and every open.
using EmulatedDiskLister = std::function<std::vector<EmulatedDisk>()>;

}  // namespace corvane::device::windows
