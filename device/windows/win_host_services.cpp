#include "device/windows/win_host_services.h"

#include <string>

namespace corvane::device::windows {

void WinHostServices::SleepMs(std::uint32_t ms) { api_.Sleep(ms); }

void WinHostServices::DebugOutput(std::string_view text) {
  const std::string terminated(text);  // Windows reads up to the NUL
  api_.OutputDebugStringA(terminated.c_str());
}

void WinHostServices::ShowErrorBox(std::string_view text, std::string_view caption) {
  const std::string terminatedText(text);
  const std::string terminatedCaption(caption);
  api_.MessageBoxA(nullptr, terminatedText.c_str(), terminatedCaption.c_str(),
                   MB_OK | MB_ICONERROR);
}

void WinHostServices::AdaptorWriteBegins() {
  // A sleeping machine cuts the bridge's power in the middle of its flash write. The answer is
  // the thread's previous state (0 when the call failed, which changed nothing).
  stateBeforeWrite_ = api_.SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

void WinHostServices::AdaptorWriteEnds() {
  // A call without ES_CONTINUOUS would only reset the idle timer once and leave the system
  // required for as long as the thread lives: the previous continuous state goes back whole, or,
  // when there was none, ES_CONTINUOUS alone clears the requirement.
  const bool hadContinuous = (stateBeforeWrite_ & ES_CONTINUOUS) != 0;
  api_.SetThreadExecutionState(hadContinuous ? stateBeforeWrite_ : ES_CONTINUOUS);
  stateBeforeWrite_ = 0;
}

void WinHostServices::PreciseWaitsBegin() {
  periodRaised_ = api_.timeBeginPeriod(kPreciseTimerPeriodMs) == TIMERR_NOERROR;
}

void WinHostServices::PreciseWaitsEnd() {
  // An end without a granted begin would lower a period another part of the system asked for.
  if (periodRaised_) api_.timeEndPeriod(kPreciseTimerPeriodMs);
  periodRaised_ = false;
}

}  // namespace corvane::device::windows
