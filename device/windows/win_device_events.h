// The device-change watch of the command line on Windows: a hidden top-level window that receives
// WM_DEVICECHANGE.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/device_events.h"
#include "device/windows/win_api.h"

namespace corvane::device::windows {

// Windows broadcasts DBT_DEVNODES_CHANGED to top-level windows only, so this is a real (hidden,
// never shown) top-level window, not a message-only one; it is also registered for USB device
// interface notifications, which bring DBT_DEVICEREMOVECOMPLETE. Lives on the thread that opened
// it: Windows delivers the window's messages to that thread, so Wait must be called there.
class WinDeviceEventSource : public DeviceEventSource {
 public:
  // nullptr with `error` set when Windows refuses the window. A refused registration is not an
  // error: the node-change broadcasts still arrive.
  static std::unique_ptr<WinDeviceEventSource> Open(WinApi& api, std::string& error);
  ~WinDeviceEventSource() override;
  WinDeviceEventSource(const WinDeviceEventSource&) = delete;
  WinDeviceEventSource& operator=(const WinDeviceEventSource&) = delete;

  int Descriptor() const override { return -1; }
  // MsgWaitForMultipleObjects on this thread's queue, then every pending message of the thread is
  // dispatched. True once a device-change code is queued; false when timeoutMs passed first.
  bool Wait(int timeoutMs) override;
  std::vector<std::uint32_t> ReadPending() override;

  HWND Window() const { return window_; }
  HDEVNOTIFY Registration() const { return registration_; }

 private:
  explicit WinDeviceEventSource(WinApi& api) : api_(api) {}
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void DispatchPending();

  WinApi& api_;
  HWND window_ = nullptr;
  HDEVNOTIFY registration_ = nullptr;
  std::vector<std::uint32_t> pending_;
};

}  // namespace corvane::device::windows
