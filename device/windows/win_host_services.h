// Waiting, debugger output and the device layer's one message box, on Windows; the machine kept
// awake while an adaptor is written, and a fine timer period for the short waits that need one.
#pragma once

#include "device/host_services.h"
#include "device/windows/win_api.h"

namespace corvane::device::windows {

// The timer period asked for during precise waits, in milliseconds.
inline constexpr UINT kPreciseTimerPeriodMs = 1;

class WinHostServices : public HostServices {
 public:
  explicit WinHostServices(WinApi& api) : api_(api) {}
  void SleepMs(std::uint32_t ms) override;
  // OutputDebugStringA with the text as it stands: no line end is added.
  void DebugOutput(std::string_view text) override;
  // MessageBoxA without owner (modal to nothing), error icon, one OK button.
  void ShowErrorBox(std::string_view text, std::string_view caption) override;
  // SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED): the system does not sleep while
  // the calling thread writes. Ends puts back the continuous requirements the thread had before.
  // Both on the thread that writes (the state belongs to the thread).
  void AdaptorWriteBegins() override;
  void AdaptorWriteEnds() override;
  // timeBeginPeriod(1), and timeEndPeriod(1) only when Windows granted it.
  void PreciseWaitsBegin() override;
  void PreciseWaitsEnd() override;

 private:
  WinApi& api_;
  EXECUTION_STATE stateBeforeWrite_ = 0;
  bool periodRaised_ = false;
};

}  // namespace corvane::device::windows
