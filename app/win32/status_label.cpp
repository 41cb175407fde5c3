#include "app/win32/status_label.h"

#include <string>

#include "app/win32/win32_form_view.h"

namespace corvane::app::win32 {

namespace {

// Window extra bytes: the font set by WM_SETFONT, and whether the left button went down here.
constexpr int kFontSlot = 0;
constexpr int kPressedSlot = static_cast<int>(sizeof(LONG_PTR));

void Paint(HWND label) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(label, &paint);
  RECT client;
  ::GetClientRect(label, &client);
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNHIGHLIGHT));

  const int length = ::GetWindowTextLengthA(label);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  ::GetWindowTextA(label, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));

  auto font = reinterpret_cast<HFONT>(::GetWindowLongPtrA(label, kFontSlot));
  HGDIOBJ oldFont = font != nullptr ? ::SelectObject(dc, font) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);
  const Colour& colour = LayoutOf(ControlId::lblStaust).font.colour;
  ::SetTextColor(dc, ::IsWindowEnabled(label) ? ToColorRef(colour) : ::GetSysColor(COLOR_GRAYTEXT));
  // DT_VCENTER only centres a single line; the text block's height is measured first so that
  // two lines are centred as one block.
  RECT measured = client;
  const UINT format = DT_CENTER | DT_NOPREFIX | DT_EXPANDTABS;
  const int height = ::DrawTextA(dc, text.c_str(), length, &measured, format | DT_CALCRECT);
  RECT target = client;
  target.top = client.top + (client.bottom - client.top - height) / 2;
  target.bottom = target.top + height;
  ::DrawTextA(dc, text.c_str(), length, &target, format);
  if (oldFont != nullptr) ::SelectObject(dc, oldFont);
  ::EndPaint(label, &paint);
}

LRESULT CALLBACK StatusLabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint(label);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT fills the whole label
    case WM_SETFONT:
      ::SetWindowLongPtrA(label, kFontSlot, static_cast<LONG_PTR>(wParam));
      if (LOWORD(lParam) != 0) ::InvalidateRect(label, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return ::GetWindowLongPtrA(label, kFontSlot);
    case WM_SETTEXT: {
      const LRESULT result = ::DefWindowProcA(label, message, wParam, lParam);
      ::InvalidateRect(label, nullptr, TRUE);
      return result;
    }
    case WM_ENABLE:
      ::InvalidateRect(label, nullptr, TRUE);
      return 0;
    case WM_LBUTTONDOWN:
      ::SetWindowLongPtrA(label, kPressedSlot, 1);
      ::SetCapture(label);
      return 0;
    case WM_LBUTTONUP: {
      const bool pressed = ::GetWindowLongPtrA(label, kPressedSlot) != 0;
      ::SetWindowLongPtrA(label, kPressedSlot, 0);
      if (::GetCapture() == label) ::ReleaseCapture();
      RECT client;
      ::GetClientRect(label, &client);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      // A click is press and release on the label while it takes clicks.
      if (pressed && ::PtInRect(&client, at) && ::IsWindowEnabled(label)) {
        const int id = ::GetDlgCtrlID(label);
        ::SendMessageA(::GetParent(label), WM_COMMAND, MAKEWPARAM(id, kStatusClicked),
                       reinterpret_cast<LPARAM>(label));
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      ::SetWindowLongPtrA(label, kPressedSlot, 0);
      return 0;
    default:
      return ::DefWindowProcA(label, message, wParam, lParam);
  }
}

}  // namespace

void RegisterStatusLabelClass(HINSTANCE instance) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (::GetClassInfoExA(instance, kStatusLabelClassName, &existing)) return;
  WNDCLASSEXA cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = StatusLabelProc;
  cls.cbWndExtra = 2 * static_cast<int>(sizeof(LONG_PTR));
  cls.hInstance = instance;
  cls.hCursor = ::LoadCursorA(nullptr, IDC_HAND);
  cls.hbrBackground = ::GetSysColorBrush(COLOR_BTNHIGHLIGHT);
  cls.lpszClassName = kStatusLabelClassName;
  ::RegisterClassExA(&cls);
}

}  // namespace corvane::app::win32
