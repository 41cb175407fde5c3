#include "app/win32/status_label.h"

#include <string>

#include "app/win32/status_accessible.h"
#include "app/win32/win32_form_view.h"

namespace corvane::app::win32 {

namespace {

// Window extra bytes: the font set by WM_SETFONT, and whether the left button went down here.
constexpr int kFontSlot = 0;
constexpr int kPressedSlot = static_cast<int>(sizeof(LONG_PTR));

// The label's click, whether from the mouse, the keyboard or assistive technology.
void Click(HWND label) {
  const int id = ::GetDlgCtrlID(label);
  ::SendMessageA(::GetParent(label), WM_COMMAND, MAKEWPARAM(id, kStatusClicked), reinterpret_cast<LPARAM>(label));
}

std::string TextOf(HWND label) {
  const int length = ::GetWindowTextLengthA(label);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextA(label, text.data(), length + 1)));
  return text;
}

void Paint(HWND label) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(label, &paint);
  RECT client;
  ::GetClientRect(label, &client);
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNHIGHLIGHT));

  const std::string text = TextOf(label);
  const int length = static_cast<int>(text.size());

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
  // The keyboard focus, drawn as buttons draw it: a dotted frame around the text, once the user
  // works with the keyboard (the window's UI state says so).
  const LRESULT hidden = ::SendMessageA(label, WM_QUERYUISTATE, 0, 0);
  if (::GetFocus() == label && (hidden & UISF_HIDEFOCUS) == 0) {
    const int width = static_cast<int>(measured.right - measured.left);
    RECT frame{(client.right - width) / 2 - 8, target.top - 3, (client.right + width) / 2 + 8, target.bottom + 3};
    ::IntersectRect(&frame, &frame, &client);
    ::DrawFocusRect(dc, &frame);
  }
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
      const auto* text = reinterpret_cast<const char*>(lParam);
      const bool changed = TextOf(label) != (text != nullptr ? text : "");
      const LRESULT result = ::DefWindowProcA(label, message, wParam, lParam);
      ::InvalidateRect(label, nullptr, TRUE);
      // The status line is a button named by its text: a screen reader says the new name.
      if (changed) ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, label, OBJID_CLIENT, CHILDID_SELF);
      return result;
    }
    case WM_ENABLE:
      ::InvalidateRect(label, nullptr, TRUE);
      ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, label, OBJID_CLIENT, CHILDID_SELF);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE: {
      const LRESULT result = ::DefWindowProcA(label, message, wParam, lParam);
      ::InvalidateRect(label, nullptr, TRUE);
      return result;
    }
    case WM_KEYDOWN:
      // Enter or Space does what a click does. A key that was already down (auto-repeat, or held
      // since before the label had the focus) starts nothing: an update must come from a press.
      if (wParam == VK_RETURN || wParam == VK_SPACE) {
        if ((lParam & (1L << 30)) == 0 && ::IsWindowEnabled(label)) Click(label);
        return 0;
      }
      return ::DefWindowProcA(label, message, wParam, lParam);
    case kStatusPressMessage:
      if (::IsWindowEnabled(label)) Click(label);
      return 0;
    case WM_GETOBJECT:
      if (static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT)) {
        if (const LRESULT answer = AnswerStatusAccessibleObject(label, wParam); answer != 0) return answer;
      }
      return ::DefWindowProcA(label, message, wParam, lParam);
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
      if (pressed && ::PtInRect(&client, at) && ::IsWindowEnabled(label)) Click(label);
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
