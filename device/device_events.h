// The device-change events the window's watch reacts to, and the OS-neutral source that delivers
// them. Every platform maps its own notifications onto these codes (the values Windows uses).
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::device {

inline constexpr std::uint32_t kDbtDevNodesChanged = 0x0007;
inline constexpr std::uint32_t kDbtDeviceArrival = 0x8000;
inline constexpr std::uint32_t kDbtDeviceRemoveComplete = 0x8004;

class DeviceEventSource {
 public:
  virtual ~DeviceEventSource() = default;
  // A descriptor that an event loop may watch for readability while events wait (Linux: the kernel
  // uevent socket); -1 on a platform that has none, whose events are waited for with Wait.
  virtual int Descriptor() const = 0;
  // Waits up to timeoutMs (negative: without limit) for device events. True when events may be
  // pending, false on time-out or when the wait was interrupted.
  virtual bool Wait(int timeoutMs) = 0;
  // The codes of every event pending now (kDbtDeviceRemoveComplete, kDbtDevNodesChanged), in
  // arrival order; never blocks.
  virtual std::vector<std::uint32_t> ReadPending() = 0;
};

}  // namespace corvane::device
