// The window for people who do not use a mouse, and on monitors smaller or denser than the layout:
// the status line by Tab, Enter and Space, what assistive technology reads back through the
// system's accessibility calls and the events it is sent, and the window fitted to a work area and
// a DPI.
#include <windows.h>
#include <ole2.h>
#include <oleacc.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/form.h"
#include "app/form_texts.h"
#include "app/window_fit.h"
#include "tests/win32/window_fixture.h"

namespace corvane::app::win32::testing {
namespace {

// lParam of a key press as the keyboard sends it: repeat count 1, and bit 30 when the key was
// already down (auto-repeat).
LPARAM KeyDown(bool alreadyDown) { return 1 | (alreadyDown ? (1L << 30) : 0); }

void Pump(SimWindow& sim) { sim.window.View().ProcessPendingMessages(); }

TEST(Win32Access, EnterAndSpaceClickTheEnabledStatusLineButNotAKeyHeldFromBefore) {
  SimWindow sim("kts260");
  int clicks = 0;
  sim.window.View().handlers.statusClicked = [&] { ++clicks; };
  HWND label = sim.Control(ControlId::lblStaust);
  struct Case {
    bool enabled;
    WPARAM key;
    bool alreadyDown;
    int clicks;
  };
  const Case cases[] = {
      {true, VK_RETURN, false, 1}, {true, VK_SPACE, false, 1}, {true, VK_RETURN, true, 0},
      {true, 'A', false, 0},       {false, VK_RETURN, false, 0}, {false, VK_SPACE, false, 0},
  };
  for (const Case& c : cases) {
    clicks = 0;
    sim.window.View().SetStatusEnabled(c.enabled);
    ::SendMessageA(label, WM_KEYDOWN, c.key, KeyDown(c.alreadyDown));
    EXPECT_EQ(clicks, c.clicks) << "enabled=" << c.enabled << " key=" << c.key << " held=" << c.alreadyDown;
  }
}

TEST(Win32Access, TabAndEnterRunTheOfferedUpdateOnceAndNoKeyStartsAnotherOne) {
  SimWindow sim("kts210");
  sim.window.Start();
  sim.window.Show(SW_SHOWNORMAL);
  Pump(sim);
  HWND window = sim.window.View().Window();
  HWND label = sim.Control(ControlId::lblStaust);
  // Shown and activated, the window hands the focus to the offer: Enter alone would start it.
  ASSERT_EQ(::GetActiveWindow(), window);
  EXPECT_EQ(::GetFocus(), label);
  // With the focus nowhere, Tab brings it back: the status line is the one visible tab stop.
  ::SetFocus(nullptr);
  ::PostMessageA(window, WM_KEYDOWN, VK_TAB, KeyDown(false));
  Pump(sim);
  ASSERT_EQ(::GetFocus(), label);

  int keysDuringRun = 0;
  sim.session.World().SetTraceSink([&](const device::TraceEntry&) {
    if (!sim.Shown(ControlId::UpdateProgressBar) || keysDuringRun >= 3) return;
    ++keysDuringRun;
    EXPECT_NE(::GetFocus(), label);
    ::PostMessageA(window, WM_KEYDOWN, VK_TAB, KeyDown(false));
    ::PostMessageA(label, WM_KEYDOWN, VK_RETURN, KeyDown(false));
    ::SendMessageA(label, WM_KEYDOWN, VK_SPACE, KeyDown(false));
  });
  ::PostMessageA(label, WM_KEYDOWN, VK_RETURN, KeyDown(false));
  Pump(sim);
  sim.session.World().SetTraceSink({});

  EXPECT_GT(keysDuringRun, 0);
  EXPECT_EQ(sim.window.Form().RunCount(), 1);
  EXPECT_EQ(sim.StatusText(), std::string(kStatusUpdateComplete));
  // The finished label takes no focus, and Tab and Enter reach no adaptor.
  sim.session.World().ClearTrace();
  ::PostMessageA(window, WM_KEYDOWN, VK_TAB, KeyDown(false));
  ::PostMessageA(::GetFocus() != nullptr ? ::GetFocus() : window, WM_KEYDOWN, VK_RETURN, KeyDown(false));
  Pump(sim);
  EXPECT_NE(::GetFocus(), label);
  EXPECT_TRUE(sim.session.World().Trace().empty());
  EXPECT_EQ(sim.window.Form().RunCount(), 1);
}

IAccessible* AccessibleOf(HWND window) {
  IAccessible* object = nullptr;
  const HRESULT result =
      ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible), reinterpret_cast<void**>(&object));
  return SUCCEEDED(result) ? object : nullptr;
}

VARIANT Self() {
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  return self;
}

std::wstring NameOf(IAccessible* object) {
  BSTR name = nullptr;
  if (object->get_accName(Self(), &name) != S_OK || name == nullptr) return L"<none>";
  std::wstring text(name, ::SysStringLen(name));
  ::SysFreeString(name);
  return text;
}

LONG VariantLong(IAccessible* object, HRESULT (STDMETHODCALLTYPE IAccessible::*read)(VARIANT, VARIANT*)) {
  VARIANT value;
  ::VariantInit(&value);
  if ((object->*read)(Self(), &value) != S_OK || value.vt != VT_I4) return -1;
  return value.lVal;
}

TEST(Win32Access, AssistiveTechnologyReadsAPushButtonNamedByTheStatusAndNamedPictures) {
  struct Case {
    const char* scenario;
    std::string_view status;
    bool pressable;
    std::string_view picture;
  };
  const Case cases[] = {
      {"none", kStatusNoDevice, false, kAccessibleNameCross},
      {"kts210-current", kStatusCurrent, false, kAccessibleNameGood},
      {"kts210", kStatusOfferSata, true, kAccessibleNameUpdate},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    SimWindow sim(c.scenario);
    sim.window.Start();
    IAccessible* status = AccessibleOf(sim.Control(ControlId::lblStaust));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(VariantLong(status, &IAccessible::get_accRole), ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_EQ(NameOf(status), Utf8ToWide(c.status));
    const LONG state = VariantLong(status, &IAccessible::get_accState);
    EXPECT_EQ((state & STATE_SYSTEM_UNAVAILABLE) != 0, !c.pressable);
    EXPECT_EQ((state & STATE_SYSTEM_FOCUSABLE) != 0, c.pressable);
    BSTR action = nullptr;
    EXPECT_EQ(status->get_accDefaultAction(Self(), &action), c.pressable ? S_OK : S_FALSE);
    if (action != nullptr) {
      EXPECT_EQ(std::wstring(action), Utf8ToWide(kAccessiblePressAction));
      ::SysFreeString(action);
    }
    status->Release();
    // The result picture's name, read through the system's own object for the picture.
    IAccessible* picture = AccessibleOf(sim.Control(ControlId::Image3));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(NameOf(picture), Utf8ToWide(c.picture));
    picture->Release();
  }
}

// The events a screen reader hears about the window's own objects, for as long as it lives.
std::vector<std::pair<HWND, DWORD>>* heardEvents = nullptr;
void CALLBACK HearEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
  if (heardEvents != nullptr && object == OBJID_CLIENT && child == CHILDID_SELF) heardEvents->emplace_back(window, event);
}
struct EventListener {
  EventListener() {
    heardEvents = &events;
    hook = ::SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, HearEvent, ::GetCurrentProcessId(),
                             ::GetCurrentThreadId(), WINEVENT_OUTOFCONTEXT);
  }
  ~EventListener() {
    if (hook != nullptr) ::UnhookWinEvent(hook);
    heardEvents = nullptr;
  }
  int Count(HWND window, DWORD event) const {
    int count = 0;
    for (const auto& [from, what] : events) count += from == window && what == event ? 1 : 0;
    return count;
  }
  std::vector<std::pair<HWND, DWORD>> events;
  HWINEVENTHOOK hook = nullptr;
};

TEST(Win32Access, TheDefaultActionRunsOneUpdateAndEveryStatusChangeIsAnnounced) {
  SimWindow sim("kts260");
  sim.window.Start();
  HWND label = sim.Control(ControlId::lblStaust);
  const EventListener listener;
  ASSERT_NE(listener.hook, nullptr);
  IAccessible* status = AccessibleOf(label);
  ASSERT_NE(status, nullptr);
  // Pressed from outside, the run starts from the label's queue, not inside the caller's request.
  EXPECT_EQ(status->accDoDefaultAction(Self()), S_OK);
  EXPECT_EQ(sim.window.Form().RunCount(), 0);
  Pump(sim);
  EXPECT_EQ(sim.window.Form().RunCount(), 1);
  EXPECT_EQ(NameOf(status), Utf8ToWide(kStatusUpdateComplete));
  // A disabled status line cannot be pressed.
  EXPECT_NE(status->accDoDefaultAction(Self()), S_OK);
  Pump(sim);
  EXPECT_EQ(sim.window.Form().RunCount(), 1);
  status->Release();
  Pump(sim);
  EXPECT_EQ(listener.Count(label, EVENT_OBJECT_NAMECHANGE), 2) << "\"Updating\" and \"Update complete\"";
  EXPECT_GE(listener.Count(label, EVENT_OBJECT_STATECHANGE), 1);
}

TEST(Win32Fit, TheWindowFitsItsWorkAreaAtItsDpiAndIsTheTablesWhereThereIsRoom) {
  struct Case {
    const char* what;
    PixelRect work;
    int dpi;
    bool exact;  // the layout table's own pixels
  };
  // Work areas no larger than the test display (the system keeps a window within the screen's
  // size); this program is not DPI-aware, so the system draws its frame at 96 dpi whatever DPI the
  // window is fitted for, and only the whole window's size is the fit's there.
  const Case cases[] = {
      {"1280x1000 at 100 %", {0, 0, 1280, 1000}, 96, true},
      {"1280x728 at 100 %", {0, 0, 1280, 728}, 96, false},
      {"1280x680 below a panel", {0, 40, 1280, 680}, 96, false},
      {"1024x728 at 125 %", {0, 0, 1024, 728}, 120, false},
      {"1280x1000 at 150 %", {0, 0, 1280, 1000}, 144, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimWindow sim("kts210");
    sim.window.Start();
    Win32FormView& view = sim.window.View();
    view.FitTo(c.work, c.dpi);
    const WindowFit fit = FitWindow(c.work, c.dpi, FormFrameAt(c.dpi));
    EXPECT_DOUBLE_EQ(view.Scale(), fit.scale);
    EXPECT_EQ(view.Scale() == 1.0, c.exact);
    RECT client{}, outer{};
    ::GetClientRect(view.Window(), &client);
    ::GetWindowRect(view.Window(), &outer);
    const PixelRect window{outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top};
    EXPECT_EQ(window, fit.window);
    if (c.dpi == view.WindowDpi()) {
      EXPECT_EQ(client.right, fit.client.width);
      EXPECT_EQ(client.bottom, fit.client.height);
    }
    EXPECT_TRUE(c.work.Contains(window));
    for (const ControlLayout& row : kControlLayout) {
      if (row.kind == ControlKind::DropDownList) continue;  // created with its opened list's height
      RECT rect{};
      ::GetWindowRect(sim.Control(row.id), &rect);
      ::MapWindowPoints(HWND_DESKTOP, view.Window(), reinterpret_cast<POINT*>(&rect), 2);
      EXPECT_EQ((PixelRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}),
                ScaledControlRect(row.id, fit.scale))
          << row.name;
    }
    // Fonts and pictures follow the same factor.
    LOGFONTA font{};
    ::GetObjectA(view.FontOf(ControlId::lblStaust), sizeof font, &font);
    EXPECT_LE(-font.lfHeight, ScaleLength(21, fit.scale));
    EXPECT_GT(-font.lfHeight, ScaleLength(21, fit.scale) / 2);
    BITMAP banner{};
    ::GetObjectA(view.PictureBitmap(ControlId::Image1), sizeof banner, &banner);
    const PixelRect image1 = ScaledControlRect(ControlId::Image1, fit.scale);
    EXPECT_EQ(banner.bmWidth, image1.width);
    EXPECT_EQ(banner.bmHeight, image1.height);
  }
}

TEST(Win32Fit, MovedToAMonitorOfAnotherDpiTheWindowTakesItsDpiWithinItsWorkArea) {
  SimWindow sim("kts210");
  sim.window.Start();
  HWND window = sim.window.View().Window();
  RECT suggested{10, 10, 1510, 1160};
  ::SendMessageA(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoA(::MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST), &monitor);
  const PixelRect work{monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right - monitor.rcWork.left,
                       monitor.rcWork.bottom - monitor.rcWork.top};
  const WindowFit fit = FitWindow(work, 144, FormFrameAt(144));
  EXPECT_DOUBLE_EQ(sim.window.View().Scale(), fit.scale);
  RECT outer{};
  ::GetWindowRect(window, &outer);
  const PixelRect placed{outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top};
  EXPECT_EQ(placed.width, fit.window.width);
  EXPECT_EQ(placed.height, fit.window.height);
  EXPECT_TRUE(work.Contains(placed));
}

}  // namespace
}  // namespace corvane::app::win32::testing
