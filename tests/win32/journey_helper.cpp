// corvane-journey-helper.exe: what the GUI journey script asks of the running window from inside
// Wine, where only Windows calls can see it.
//   window WAIT_MS           waits for the window; prints "client W H" and "status X Y" (the status
//                            line's centre in screen pixels) and "clientorigin X Y"
//   devchange CODE N GAP_MS  posts WM_DEVICECHANGE CODE to the window N times, GAP_MS apart
//   click                    presses and releases the left button on the status line's centre, as
//                            the mouse does (for a display without a pointer: Wine's null driver)
//   close                    posts WM_CLOSE to the window
#include <windows.h>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: corvane-journey-helper window WAIT_MS | devchange CODE N GAP_MS | click | close\n");
    return 2;
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
    }
    return 0;
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
