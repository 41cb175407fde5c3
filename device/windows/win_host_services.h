// Waiting, debugger output and the device layer's one message box, on Windows.
#pragma once

#include "device/host_services.h"
#include "device/windows/win_api.h"

namespace corvane::device::windows {

class WinHostServices : public HostServices {
 public:
  explicit WinHostServices(WinApi& api) : api_(api) {}
  void SleepMs(std::uint32_t ms) override;
  // OutputDebugStringA with the text as it stands: no line end is added.
  void DebugOutput(std::string_view text) override;
  // MessageBoxA without owner (modal to nothing), error icon, one OK button.
  void ShowErrorBox(std::string_view text, std::string_view caption) override;

 private:
  WinApi& api_;
};

}  // namespace corvane::device::windows
