// corvane-journey-helper.exe: what the GUI journey script asks of the running window from inside
// Wine, where only Windows calls can see it. With "--desktop NAME" first it looks for the window on
// that desktop (a Wine virtual desktop) instead of its own.
//   window WAIT_MS           waits for the window; prints "client W H" and "status X Y" (the status
//                            line's centre in screen pixels), "clientorigin X Y", and the screen
//                            rectangles (left top right bottom) "frame", "statusrect" and
//                            "workarea" (its monitor's)
//   accessible               what a screen reader reads of the status line through the system's
//                            accessibility calls: "role N", "name TEXT", "state 0xN", "action TEXT"
//   devchange CODE N GAP_MS  posts WM_DEVICECHANGE CODE to the window N times, GAP_MS apart
//   click                    presses and releases the left button on the status line's centre, as
//                            the mouse does (for a display without a pointer: Wine's null driver)
//   close                    posts WM_CLOSE to the window
#include <windows.h>
#include <ole2.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HWND FindUpdater(DWORD waitMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    HWND window = ::FindWindowA("TForm1", "Corvane Update Tool");
    if (window != nullptr && ::IsWindowVisible(window)) return window;
    if (::GetTickCount() - start >= waitMs) return nullptr;
    ::Sleep(50);
  }
}

void PrintRect(const char* what, const RECT& rect) {
  std::printf("%s %ld %ld %ld %ld\n", what, rect.left, rect.top, rect.right, rect.bottom);
}

std::string Narrow(BSTR text) {
  if (text == nullptr) return "<none>";
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(::SysStringLen(text)), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(::SysStringLen(text)), narrow.data(), length, nullptr, nullptr);
  ::SysFreeString(text);
  return narrow;
}

int PrintAccessible(HWND status) {
  ::CoInitialize(nullptr);
  IAccessible* object = nullptr;
  // __uuidof: the import library's IID_IAccessible is an import stub, not the interface id.
  if (FAILED(::AccessibleObjectFromWindow(status, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object))) ||
      object == nullptr) {
    std::fprintf(stderr, "corvane-journey-helper: no accessible object for the status line\n");
    return 1;
  }
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  VARIANT role, state;
  ::VariantInit(&role);
  ::VariantInit(&state);
  BSTR name = nullptr, action = nullptr;
  const HRESULT roleRead = object->get_accRole(self, &role);
  const HRESULT stateRead = object->get_accState(self, &state);
  object->get_accName(self, &name);
  object->get_accDefaultAction(self, &action);
  std::printf("role %ld\n", roleRead == S_OK && role.vt == VT_I4 ? role.lVal : -1L);
  std::printf("name %s\n", Narrow(name).c_str());
  std::printf("state 0x%lx\n", stateRead == S_OK && state.vt == VT_I4 ? static_cast<unsigned long>(state.lVal) : 0UL);
  std::printf("action %s\n", Narrow(action).c_str());
  object->Release();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: corvane-journey-helper [--desktop NAME] window WAIT_MS | accessible | devchange CODE N GAP_MS | click | close\n");
    return 2;
  }
  if (argc >= 4 && std::string(argv[1]) == "--desktop") {
    // Windows are found only on the calling thread's desktop.
    HDESK desktop = ::OpenDesktopA(argv[2], 0, FALSE, GENERIC_ALL);
    if (desktop == nullptr || !::SetThreadDesktop(desktop)) {
      std::fprintf(stderr, "corvane-journey-helper: cannot use desktop %s\n", argv[2]);
      return 1;
    }
    argc -= 2;
    argv += 2;
  }
  const std::string verb = argv[1];
  HWND window = FindUpdater(verb == "window" && argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 5000);
  if (window == nullptr) {
    std::fprintf(stderr, "corvane-journey-helper: no visible window \"Corvane Update Tool\"\n");
    return 1;
  }
  if (verb == "window") {
    RECT client{};
    ::GetClientRect(window, &client);
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    std::printf("client %ld %ld\n", client.right, client.bottom);
    std::printf("clientorigin %ld %ld\n", origin.x, origin.y);
    HWND status = ::FindWindowExA(window, nullptr, "CorvaneStatusLabel", nullptr);
    if (status != nullptr) {
      RECT rect{};
      ::GetWindowRect(status, &rect);
      std::printf("status %ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
      PrintRect("statusrect", rect);
    }
    RECT frame{};
    ::GetWindowRect(window, &frame);
    PrintRect("frame", frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoA(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
      PrintRect("workarea", monitor.rcWork);
    }
    return 0;
  }
  if (verb == "accessible") {
    HWND status = ::FindWindowExA(window, nullptr, "CorvaneStatusLabel", nullptr);
    return status != nullptr ? PrintAccessible(status) : 1;
  }
  if (verb == "devchange" && argc == 5) {
    const auto code = static_cast<WPARAM>(std::strtoul(argv[2], nullptr, 0));
    const int count = std::atoi(argv[3]);
    const DWORD gap = static_cast<DWORD>(std::atoi(argv[4]));
    for (int i = 0; i < count; ++i) {
      if (i > 0) ::Sleep(gap);
      if (!::PostMessageA(window, WM_DEVICECHANGE, code, 0)) return 1;
    }
    return 0;
  }
  if (verb == "click") {
    HWND status = ::FindWindowExA(window, nullptr, "CorvaneStatusLabel", nullptr);
    if (status == nullptr) return 1;
    RECT client{};
    ::GetClientRect(status, &client);
    const LPARAM at = MAKELPARAM(client.right / 2, client.bottom / 2);
    return ::PostMessageA(status, WM_LBUTTONDOWN, MK_LBUTTON, at) &&
                   ::PostMessageA(status, WM_LBUTTONUP, 0, at)
               ? 0
               : 1;
  }
  if (verb == "close") return ::PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
  std::fprintf(stderr, "corvane-journey-helper: unknown verb %s\n", verb.c_str());
  return 2;
}
