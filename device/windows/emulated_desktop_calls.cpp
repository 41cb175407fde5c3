// The desktop calls of the emulated Windows: recorded, answered as configured, never waiting and
// never showing anything.
#include <algorithm>
#include <cstring>

#include "device/windows/emulated_win_api.h"

namespace corvane::device::windows {
namespace {

constexpr std::uintptr_t kNotificationBase = 0x00DE0000;

bool SameTextIgnoringCase(const std::string& a, const char* b) {
  if (b == nullptr) return false;
  const std::size_t length = std::strlen(b);
  if (a.size() != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

void EmulatedWinApi::Sleep(DWORD milliseconds) {
  if (answers_.keepLog) log_.sleeps.push_back(milliseconds);
  if (answers_.onSleep) answers_.onSleep(milliseconds);
}

void EmulatedWinApi::OutputDebugStringA(LPCSTR outputString) {
  if (answers_.keepLog) log_.debugTexts.emplace_back(outputString != nullptr ? outputString : "");
}

BOOL EmulatedWinApi::GetVersionExA(LPOSVERSIONINFOA versionInformation) {
  if (versionInformation == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD size = versionInformation->dwOSVersionInfoSize;
  VersionCall call{size, true};
  if (size == sizeof(OSVERSIONINFOA) || size == sizeof(OSVERSIONINFOEXA)) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(versionInformation);
    call.zeroed =
        std::all_of(bytes + sizeof(DWORD), bytes + size, [](std::uint8_t b) { return b == 0; });
  }
  if (answers_.keepLog) log_.versionCalls.push_back(call);

  const bool extended = size == sizeof(OSVERSIONINFOEXA);
  if (size != sizeof(OSVERSIONINFOA) && !extended) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (answers_.versionFails || (extended && answers_.extendedVersionFails)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  versionInformation->dwMajorVersion = answers_.majorVersion;
  versionInformation->dwMinorVersion = answers_.minorVersion;
  versionInformation->dwBuildNumber = answers_.buildNumber;
  versionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
  if (extended) {
    reinterpret_cast<OSVERSIONINFOEXA*>(versionInformation)->wProductType = VER_NT_WORKSTATION;
  }
  return TRUE;
}

int EmulatedWinApi::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (answers_.keepLog) log_.messageBoxes.push_back(
      {owner, text != nullptr ? text : "", caption != nullptr ? caption : "Error", type});
  return IDOK;  // the only button of every box the device layer raises
}

HWND EmulatedWinApi::FindWindowA(LPCSTR className, LPCSTR windowName) {
  if (answers_.keepLog) log_.windowSearches.push_back(
      {className != nullptr ? className : "", windowName != nullptr ? windowName : ""});
  // Windows compares class names and titles without regard to case.
  for (const TopLevelWindow& window : answers_.windows) {
    if (SameTextIgnoringCase(window.className, className) &&
        SameTextIgnoringCase(window.title, windowName)) {
      return window.handle;
    }
  }
  lastError_ = ERROR_SUCCESS;  // not finding a window is no error
  return nullptr;
}

BOOL EmulatedWinApi::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (answers_.keepLog) log_.posted.push_back({window, message, wParam, lParam});
  const bool known = std::any_of(answers_.windows.begin(), answers_.windows.end(),
                                 [window](const TopLevelWindow& w) { return w.handle == window; });
  return known ? TRUE : Fail(ERROR_INVALID_WINDOW_HANDLE);
}

HDEVNOTIFY EmulatedWinApi::RegisterDeviceNotificationA(HANDLE recipient, LPVOID notificationFilter,
                                                       DWORD flags) {
  NotificationRegistration call{recipient, {}, flags};
  if (notificationFilter == nullptr) {
    if (answers_.keepLog) log_.registrations.push_back(call);
    lastError_ = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  const auto* header = static_cast<const DEV_BROADCAST_HDR*>(notificationFilter);
  const auto* bytes = static_cast<const std::uint8_t*>(notificationFilter);
  // The size field says how much to keep, within reason (a filter holds no more than a name).
  const DWORD kept = std::clamp<DWORD>(header->dbch_size, sizeof(DEV_BROADCAST_HDR), 1024);
  call.filter.assign(bytes, bytes + kept);
  if (answers_.keepLog) log_.registrations.push_back(call);
  if (recipient == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
      header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  const std::uintptr_t key = kNotificationBase + 0x10 * handlesGiven_++;
  registrations_.insert(key);
  return reinterpret_cast<HDEVNOTIFY>(key);
}

BOOL EmulatedWinApi::UnregisterDeviceNotification(HDEVNOTIFY handle) {
  if (answers_.keepLog) log_.unregistrations.push_back(handle);
  if (registrations_.erase(reinterpret_cast<std::uintptr_t>(handle)) == 0) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  return TRUE;
}

EXECUTION_STATE EmulatedWinApi::SetThreadExecutionState(EXECUTION_STATE flags) {
  if (answers_.keepLog) log_.executionStates.push_back(flags);
  if (answers_.executionStateFails) return 0;
  const EXECUTION_STATE previous = executionState_;
  // Without ES_CONTINUOUS the call only resets the idle timers once; nothing stays.
  if ((flags & ES_CONTINUOUS) != 0) executionState_ = flags;
  return previous;
}

MMRESULT EmulatedWinApi::timeBeginPeriod(UINT period) {
  TimerPeriodCall call{true, period, TIMERR_NOERROR};
  if (answers_.timerPeriodRefused || period == 0) {
    call.result = TIMERR_NOCANDO;
  } else {
    ++timerPeriods_[period];
  }
  if (answers_.keepLog) log_.timerPeriods.push_back(call);
  return call.result;
}

MMRESULT EmulatedWinApi::timeEndPeriod(UINT period) {
  // Each end must match a begin of the same period that Windows granted.
  TimerPeriodCall call{false, period, TIMERR_NOCANDO};
  if (auto raised = timerPeriods_.find(period); raised != timerPeriods_.end() && raised->second > 0) {
    --raised->second;
    call.result = TIMERR_NOERROR;
  }
  if (answers_.keepLog) log_.timerPeriods.push_back(call);
  return call.result;
}

int EmulatedWinApi::RaisedTimerPeriods() const {
  int raised = 0;
  for (const auto& [period, count] : timerPeriods_) raised += count;
  return raised;
}

namespace {

// Windows takes a shutdown block reason only from the thread that created the window. A made-up
// handle (the tests') is no window of any thread and passes.
bool OwnedByAnotherThread(HWND window) {
  return ::IsWindow(window) && ::GetWindowThreadProcessId(window, nullptr) != ::GetCurrentThreadId();
}

}  // namespace

BOOL EmulatedWinApi::ShutdownBlockReasonCreate(HWND window, LPCWSTR reason) {
  ShutdownReasonCall call{window, true, reason != nullptr ? reason : L"", FALSE};
  if (window == nullptr) {
    lastError_ = ERROR_INVALID_WINDOW_HANDLE;
  } else if (answers_.shutdownBlockFails || OwnedByAnotherThread(window)) {
    lastError_ = ERROR_ACCESS_DENIED;
  } else {
    shutdownReasons_[window] = call.reason;
    call.result = TRUE;
  }
  if (answers_.keepLog) log_.shutdownReasons.push_back(call);
  return call.result;
}

BOOL EmulatedWinApi::ShutdownBlockReasonDestroy(HWND window) {
  ShutdownReasonCall call{window, false, {}, FALSE};
  if (OwnedByAnotherThread(window)) {
    lastError_ = ERROR_ACCESS_DENIED;
  } else if (shutdownReasons_.erase(window) == 0) {
    lastError_ = ERROR_INVALID_PARAMETER;
  } else {
    call.result = TRUE;
  }
  if (answers_.keepLog) log_.shutdownReasons.push_back(call);
  return call.result;
}

}  // namespace corvane::device::windows
