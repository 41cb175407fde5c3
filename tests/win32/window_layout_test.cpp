// The real window's controls read back from their HWNDs against the one layout table: rectangles,
// classes, styles, fonts, visibility and z-order, and the main window's own frame.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include <gtest/gtest.h>

#include "app/control_layout.h"
#include "app/form_texts.h"
#include "app/win32/win32_form_view.h"
#include "tests/win32/window_fixture.h"

namespace corvane::app::win32::testing {
namespace {

RECT RectInParent(HWND control) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  ::GetWindowTextA(window, text, sizeof text);
  return text;
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW font{};
  auto handle = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  EXPECT_NE(handle, nullptr);
  ::GetObjectW(handle, sizeof font, &font);
  return font;
}

// Width of the widest line of `text` in the table's own font, measured apart from the view.
int WidestLineAtTableSize(HWND control, const FontSpec& wanted, const std::string& text) {
  const std::wstring face = Utf8ToWide(wanted.face);
  HFONT font = ::CreateFontW(-wanted.heightPx, 0, 0, 0, wanted.bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, ToCharset(wanted.charset),
                             0, 0, 0, 0, face.c_str());
  HDC dc = ::GetDC(control);
  HGDIOBJ old = ::SelectObject(dc, font);
  int widest = 0;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    SIZE extent{};
    ::GetTextExtentPoint32A(dc, text.data() + begin, static_cast<int>(end - begin), &extent);
    widest = std::max(widest, static_cast<int>(extent.cx));
    begin = end + 1;
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  ::DeleteObject(font);
  return widest;
}

TEST(Win32Layout, EveryControlSitsWhereTheTableSaysWithItsClassStyleAndVisibility) {
  SimWindow sim("none");
  struct KindExpectation {
    ControlKind kind;
    const char* className;
    DWORD styleBits;  // all must be set
  };
  const KindExpectation kinds[] = {
      {ControlKind::Picture, "Static", SS_OWNERDRAW},
      {ControlKind::Label, "Static", SS_CENTER | SS_CENTERIMAGE},
      {ControlKind::DropDownList, "ComboBox", CBS_DROPDOWNLIST},
      {ControlKind::PushButton, "Button", BS_PUSHBUTTON},
      {ControlKind::ProgressBar, "msctls_progress32", PBS_SMOOTH},
  };
  for (const ControlLayout& row : kControlLayout) {
    SCOPED_TRACE(std::string(row.name));
    HWND control = sim.Control(row.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(::GetParent(control), sim.window.View().Window());
    EXPECT_EQ(::GetDlgCtrlID(control), ControlIdOf(row.id));
    const RECT rect = RectInParent(control);
    EXPECT_EQ(rect.left, row.left);
    EXPECT_EQ(rect.top, row.top);
    EXPECT_EQ(rect.right - rect.left, row.width);
    EXPECT_EQ(rect.bottom - rect.top, row.height);
    const DWORD style = static_cast<DWORD>(::GetWindowLongA(control, GWL_STYLE));
    EXPECT_EQ((style & WS_VISIBLE) != 0, row.shown);
    EXPECT_EQ((style & WS_TABSTOP) != 0, row.tabOrder >= 0);
    if (row.id == ControlId::lblStaust) {
      EXPECT_EQ(ClassOf(control), kStatusLabelClassName);
      continue;
    }
    for (const KindExpectation& kind : kinds) {
      if (kind.kind != row.kind) continue;
      EXPECT_STRCASEEQ(ClassOf(control).c_str(), kind.className);
      if (row.kind == ControlKind::Picture || row.kind == ControlKind::DropDownList) {
        EXPECT_EQ(style & 0x1F, kind.styleBits & 0x1F);  // a type field, not flags
      } else {
        EXPECT_EQ(style & kind.styleBits, kind.styleBits);
      }
    }
    if (row.kind == ControlKind::Label || row.kind == ControlKind::PushButton) {
      EXPECT_EQ(TextOf(control), std::string(row.text));
    }
  }
}

TEST(Win32Layout, FontsHaveTheTablesFaceWeightAndCharsetAndItsHeightWhereTheTextFits) {
  SimWindow sim("kts260");
  for (const ControlLayout& row : kControlLayout) {
    if (row.kind == ControlKind::Picture || row.kind == ControlKind::ProgressBar) continue;
    SCOPED_TRACE(std::string(row.name));
    HWND control = sim.Control(row.id);
    const LOGFONTW font = FontOf(control);
    EXPECT_EQ(std::wstring(font.lfFaceName), Utf8ToWide(row.font.face));
    EXPECT_EQ(font.lfCharSet, ToCharset(row.font.charset));
    EXPECT_EQ(font.lfWeight, row.font.bold ? FW_BOLD : FW_NORMAL);
    // Character heights are given negative; a label whose text this desktop's face draws too wide
    // gets a smaller one, never a larger one.
    EXPECT_LT(font.lfHeight, 0);
    EXPECT_GE(font.lfHeight, -row.font.heightPx);
    if (row.kind != ControlKind::Label) {
      EXPECT_EQ(font.lfHeight, -row.font.heightPx);
      continue;
    }
    RECT client{};
    ::GetClientRect(control, &client);
    const int room = client.right - std::max(4L, client.right / 10);
    if (WidestLineAtTableSize(control, row.font, TextOf(control)) <= room) {
      EXPECT_EQ(font.lfHeight, -row.font.heightPx) << "the text fits at the table's height";
    }
  }
}

TEST(Win32Layout, TheButtonsChineseFaceSurvivesTheWayIntoTheFont) {
  SimWindow sim("none");
  const LOGFONTW font = FontOf(sim.Control(ControlId::btn_Exit));
  // 微軟正黑體, Microsoft JhengHei by its own name.
  EXPECT_EQ(std::wstring(font.lfFaceName), std::wstring(L"\x5FAE\x8EDF\x6B63\x9ED1\x9AD4"));
}

TEST(Win32Layout, LaterRowsLieAboveEarlierOnesWhereTheyOverlap) {
  SimWindow sim("none");
  // Walking down the z-order from Image3 reaches Image2: Image3 paints over it.
  auto below = [](HWND from, HWND target) {
    for (HWND next = ::GetWindow(from, GW_HWNDNEXT); next != nullptr; next = ::GetWindow(next, GW_HWNDNEXT)) {
      if (next == target) return true;
    }
    return false;
  };
  EXPECT_TRUE(below(sim.Control(ControlId::Image3), sim.Control(ControlId::Image2)));
  EXPECT_TRUE(below(sim.Control(ControlId::Label4), sim.Control(ControlId::lblStaust)));
  EXPECT_FALSE(below(sim.Control(ControlId::Image2), sim.Control(ControlId::Image3)));
  for (const ControlLayout& row : kControlLayout) {
    EXPECT_NE(::GetWindowLongA(sim.Control(row.id), GWL_STYLE) & WS_CLIPSIBLINGS, 0) << row.name;
  }
}

TEST(Win32Layout, MainWindowHasAFixedClientAreaASingleBorderAndNoMaximiseBox) {
  SimWindow sim("none");
  HWND window = sim.window.View().Window();
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, kWindowLayout.clientWidth);
  EXPECT_EQ(client.bottom, kWindowLayout.clientHeight);
  const LONG style = ::GetWindowLongA(window, GWL_STYLE);
  EXPECT_NE(style & WS_CAPTION, 0);
  EXPECT_NE(style & WS_SYSMENU, 0);
  EXPECT_NE(style & WS_MINIMIZEBOX, 0);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
  EXPECT_EQ(style & WS_THICKFRAME, 0);
  EXPECT_EQ(ClassOf(window), kFormClassName);
  EXPECT_EQ(::GetClassLongPtrA(window, GCLP_HBRBACKGROUND), static_cast<LONG_PTR>(COLOR_BTNHIGHLIGHT + 1));
  // Not yet shown, and still with the stored caption: Start and FormCreate have not run.
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(TextOf(window), std::string(kStoredCaption));
}

TEST(Win32Layout, ShownCentredOnTheWorkArea) {
  SimWindow sim("none");
  sim.window.Start();
  sim.window.Show(SW_SHOWNOACTIVATE);
  HWND window = sim.window.View().Window();
  EXPECT_TRUE(::IsWindowVisible(window));
  RECT work{}, frame{};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  ::GetWindowRect(window, &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 1);
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, kWindowLayout.clientWidth);
  EXPECT_EQ(client.bottom, kWindowLayout.clientHeight);
}

TEST(Win32Layout, StatusLabelHasTheHandCursorAndIsGreyedAndDeafWhileDisabled) {
  SimWindow sim("kts260");
  int clicks = 0;
  sim.window.View().handlers.statusClicked = [&] { ++clicks; };
  HWND label = sim.Control(ControlId::lblStaust);
  EXPECT_EQ(reinterpret_cast<HCURSOR>(::GetClassLongPtrA(label, GCLP_HCURSOR)), ::LoadCursorA(nullptr, IDC_HAND));

  sim.window.View().SetStatusEnabled(false);
  EXPECT_FALSE(::IsWindowEnabled(label));
  sim.ClickStatus();
  EXPECT_EQ(clicks, 0);

  sim.window.View().SetStatusEnabled(true);
  sim.ClickStatus();
  EXPECT_EQ(clicks, 1);
  // A press outside, released inside, is no click.
  ::SendMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  EXPECT_EQ(clicks, 1);
  ::SendMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  ::SendMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2000, 10));
  EXPECT_EQ(clicks, 1);
}

TEST(Win32Layout, TwoLineStatusKeepsItsLineBreak) {
  SimWindow sim("two");
  sim.window.Start();
  EXPECT_EQ(sim.StatusText(), std::string(kStatusSeveral));
}

}  // namespace
}  // namespace corvane::app::win32::testing
