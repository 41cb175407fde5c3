#include "device/windows/win_device_events.h"

#include <string>
#include <utility>

#include "device/windows/desktop_utilities.h"

namespace corvane::device::windows {
namespace {

constexpr char kWindowClassName[] = "CorvaneDeviceWatch";

static_assert(DBT_DEVNODES_CHANGED == kDbtDevNodesChanged);
static_assert(DBT_DEVICEREMOVECOMPLETE == kDbtDeviceRemoveComplete);
static_assert(DBT_DEVICEARRIVAL == kDbtDeviceArrival);

// The class is registered once per process; a second watch reuses it.
bool RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClassName;
  return ::RegisterClassExA(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

std::unique_ptr<WinDeviceEventSource> WinDeviceEventSource::Open(WinApi& api, std::string& error) {
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  if (!RegisterWindowClass(instance, &WindowProcedure)) {
    error = "Windows refused the window class for the device watch (error " +
            std::to_string(::GetLastError()) + ").";
    return nullptr;
  }
  std::unique_ptr<WinDeviceEventSource> source(new WinDeviceEventSource(api));
  // A tool window is never listed in the task bar, should anything ever show it.
  source->window_ =
      ::CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClassName, "Corvane device watch", WS_OVERLAPPED,
                        0, 0, 0, 0, nullptr, nullptr, instance, source.get());
  if (source->window_ == nullptr) {
    error = "Windows refused the window that receives device notifications (error " +
            std::to_string(::GetLastError()) + ").";
    return nullptr;
  }
  source->registration_ = RegisterUsbDeviceNotification(api, source->window_);
  return source;
}

WinDeviceEventSource::~WinDeviceEventSource() {
  UnregisterUsbDeviceNotification(api_, registration_);
  if (window_ != nullptr) ::DestroyWindow(window_);
}

LRESULT CALLBACK WinDeviceEventSource::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                       LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* source =
      reinterpret_cast<WinDeviceEventSource*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_DEVICECHANGE && source != nullptr) {
    // Only the event code counts; the data behind lParam is not read. Arrivals are left to the
    // node-change broadcast that follows them.
    const auto code = static_cast<std::uint32_t>(wParam);
    if (code == kDbtDeviceRemoveComplete || code == kDbtDevNodesChanged) {
      source->pending_.push_back(code);
    }
    return TRUE;  // grants any query; the watch never vetoes a removal
  }
  if (message == WM_NCDESTROY) ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

void WinDeviceEventSource::DispatchPending() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Not ours to take: left for the thread's own loop.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

bool WinDeviceEventSource::Wait(int timeoutMs) {
  // Messages already waiting do not wake MsgWaitForMultipleObjects again, so they go first.
  DispatchPending();
  const ULONGLONG deadline =
      ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs < 0 ? 0 : timeoutMs);
  while (pending_.empty()) {
    DWORD wait = INFINITE;
    if (timeoutMs >= 0) {
      const ULONGLONG now = ::GetTickCount64();
      wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    }
    const DWORD woke = ::MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    if (woke == WAIT_FAILED) return false;
    // Other messages (paint, timers of the thread's other windows) wake it too; they are
    // dispatched and the wait goes on for what is left of the time.
    DispatchPending();
    if (woke == WAIT_TIMEOUT) break;
  }
  return !pending_.empty();
}

std::vector<std::uint32_t> WinDeviceEventSource::ReadPending() {
  return std::exchange(pending_, {});
}

}  // namespace corvane::device::windows
