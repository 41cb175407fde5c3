#include "device/windows/session_end_block.h"

namespace corvane::device::windows {
namespace {

constexpr char kHiddenWindowClass[] = "CorvaneSessionEndBlock";
// Posted by the owner to end the hidden window's thread.
constexpr UINT kEndBlockMessage = WM_APP + 1;

LRESULT CALLBACK HiddenWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      return FALSE;  // the window only exists while an adaptor is written
    case WM_ENDSESSION:
      return 0;
    case kEndBlockMessage:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

bool RegisterHiddenWindowClass(HINSTANCE instance) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &HiddenWindowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kHiddenWindowClass;
  return ::RegisterClassExA(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

ShutdownBlockReason::ShutdownBlockReason(WinApi& api, HWND window)
    : api_(api),
      window_(window),
      registered_(window != nullptr &&
                  api.ShutdownBlockReasonCreate(window, kAdaptorWriteShutdownReason) != FALSE) {}

ShutdownBlockReason::~ShutdownBlockReason() {
  if (registered_) api_.ShutdownBlockReasonDestroy(window_);
}

HiddenSessionEndBlock::HiddenSessionEndBlock(WinApi& api) : api_(api) {
  thread_ = std::thread([this] { Run(); });
  std::unique_lock lock(mutex_);
  readyChanged_.wait(lock, [this] { return ready_; });
}

HiddenSessionEndBlock::~HiddenSessionEndBlock() {
  if (window_ != nullptr) ::PostMessageA(window_, kEndBlockMessage, 0, 0);
  thread_.join();
}

void HiddenSessionEndBlock::Run() {
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  HWND window = nullptr;
  if (RegisterHiddenWindowClass(instance)) {
    // Not WS_VISIBLE; a tool window is kept out of the task bar should anything show it.
    window = ::CreateWindowExA(WS_EX_TOOLWINDOW, kHiddenWindowClass, "Corvane Update Tool",
                               WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  }
  std::optional<ShutdownBlockReason> reason;
  if (window != nullptr) reason.emplace(api_, window);
  {
    std::lock_guard lock(mutex_);
    window_ = window;
    registered_ = reason && reason->Registered();
    ready_ = true;
  }
  readyChanged_.notify_all();
  if (window == nullptr) return;
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
  reason.reset();  // on this thread, which made the window
  ::DestroyWindow(window);
}

void WindowWriteGuard::AdaptorWriteBegins() {
  inner_.AdaptorWriteBegins();
  writing_ = true;
  reason_.emplace(api_, window_);
}

void WindowWriteGuard::AdaptorWriteEnds() {
  reason_.reset();
  writing_ = false;
  inner_.AdaptorWriteEnds();
}

}  // namespace corvane::device::windows
