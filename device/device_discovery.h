// Finding the present disks that sit behind a bridge of the chip maker.
#pragma once

#include <array>
#include <span>

namespace corvane::device {

inline constexpr std::size_t kDevicePathSlotSize = 256;  // 255 characters and the NUL
inline constexpr std::size_t kScanPathSlots = 16;
using DevicePathSlot = std::array<char, kDevicePathSlotSize>;

// What a walk noticed besides the admitted paths.
struct DiscoveryNotes {
  // A candidate that may be a bridge of the chip maker refused the open for lack of rights: its
  // USB vendor id is the chip maker's, or the platform cannot tell. A foreign disk (a USB stick
  // whose node is closed to users, as it normally is) does not count. Needs the platform's log.
  bool refusedBridge = false;
};

// Fills slots from the first on with the admitted paths (NUL-terminated), in the platform's order,
// and returns how many. A path that does not fit a slot, or a device past the last slot, is
// skipped without writing anything. include1394 != 0 makes SBP-2 paths candidates too.
int EnumBridgeDevices(std::span<DevicePathSlot> slots, int include1394,
                      DiscoveryNotes* notes = nullptr);

}  // namespace corvane::device
