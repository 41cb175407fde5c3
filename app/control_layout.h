// The fixed layout of the main window: every control, in creation order, with the window's own
// properties. Both front ends build their window from this one table. Positions, sizes and font
// heights are in pixels at 96 dpi.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "app/form_texts.h"

namespace corvane::app {

// Every control of the window, in creation order of the table below.
enum class ControlId {
  Image1,
  Image2,
  lblStaust,
  Image3,
  Label1,
  Label2,
  Label3,
  Label4,
  Label5,
  cbb_DeviceList,
  btn_Refresh,
  btn_Exit,
  btn_upd,
  UpdateProgressBar,
};
inline constexpr std::size_t kControlCount = 14;

enum class ControlKind { Picture, Label, DropDownList, PushButton, ProgressBar };

// Colours are either a system colour of the desktop or a fixed RGB value.
enum class SystemColour { None, BtnHighlight, MenuHilight, InactiveCaptionText, WindowText };
struct Colour {
  SystemColour system = SystemColour::None;
  std::uint8_t red = 0, green = 0, blue = 0;  // used when system is None
};

enum class FontCharset { Ansi, EastEurope, Arabic };

struct FontSpec {
  std::string_view face;
  int heightPx = 11;
  bool bold = false;
  Colour colour;
  FontCharset charset = FontCharset::EastEurope;
};

enum class TextAlign { Default, Centred };  // Centred: horizontally and vertically
enum class CursorKind { Default, HandPoint };

struct ControlLayout {
  ControlId id;
  std::string_view name;
  ControlKind kind;
  int left, top, width, height;
  std::string_view text;  // empty for pictures and the progress bar
  FontSpec font;          // the control's effective font (the window's default where it has none)
  bool shown;             // visibility when the window is built
  int tabOrder;           // -1: not a tab stop
  TextAlign align;
  CursorKind cursor;
  bool autoSize;          // labels: false throughout; pictures stretch instead
  int itemHeight;         // drop-down list only, else 0
  int rangeMin, rangeMax; // progress bar only
  bool smoothBar;         // progress bar only
};

struct WindowLayout {
  int clientWidth = 997;
  int clientHeight = 756;
  bool resizable = false;  // single border
  bool minimizeButton = true;
  bool maximizeButton = false;
  bool centredOnDesktop = true;
  Colour background{SystemColour::BtnHighlight};
  FontSpec defaultFont{"MS Sans Serif", 11, false, Colour{SystemColour::MenuHilight},
                       FontCharset::EastEurope};
  int designDpi = 96;
  int textHeight = 14;
  std::string_view storedCaption = kStoredCaption;
};

inline constexpr WindowLayout kWindowLayout{};

namespace layout_detail {
inline constexpr FontSpec kDefaultFont = kWindowLayout.defaultFont;
inline constexpr FontSpec kStatusFont{"MS Sans Serif", 21, false, Colour{SystemColour::MenuHilight},
                                      FontCharset::Arabic};
inline constexpr FontSpec kProductsFont{"MS Sans Serif", 11, false,
                                        Colour{SystemColour::None, 128, 128, 128},
                                        FontCharset::EastEurope};
inline constexpr FontSpec kContactFont{"MS Sans Serif", 16, false,
                                       Colour{SystemColour::InactiveCaptionText},
                                       FontCharset::Arabic};
inline constexpr FontSpec kContactBoldFont{"MS Sans Serif", 16, true,
                                           Colour{SystemColour::InactiveCaptionText},
                                           FontCharset::Arabic};
// The buttons' stored face is the Traditional Chinese UI font (Microsoft JhengHei by its own name).
inline constexpr FontSpec kButtonFont{"\xE5\xBE\xAE\xE8\xBB\x9F\xE6\xAD\xA3\xE9\xBB\x91\xE9\xAB\x94",
                                      16, false, Colour{SystemColour::WindowText},
                                      FontCharset::Ansi};
}  // namespace layout_detail

// clang-format off
inline constexpr std::array<ControlLayout, kControlCount> kControlLayout = {{
  // id, name, kind, left, top, width, height, text, font, shown, tab, align, cursor, autoSize,
  // itemHeight, rangeMin, rangeMax, smooth
  // Image1 reaches 3 pixels past the client area's right edge, as the banner always has.
  {ControlId::Image1, "Image1", ControlKind::Picture, 0, 0, 1000, 400, "",
   layout_detail::kDefaultFont, true, -1, TextAlign::Default, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::Image2, "Image2", ControlKind::Picture, 432, 504, 150, 150, "",
   layout_detail::kDefaultFont, true, -1, TextAlign::Default, CursorKind::Default, false, 0, 0, 0, false},
  // The status line is the window's only button, so it is also the window's one visible tab stop
  // (it takes the focus only while enabled).
  {ControlId::lblStaust, "lblStaust", ControlKind::Label, 56, 657, 905, 65, "",
   layout_detail::kStatusFont, true, 5, TextAlign::Centred, CursorKind::HandPoint, false, 0, 0, 0, false},
  // Image3 lies above Image2 and two pixels lower.
  {ControlId::Image3, "Image3", ControlKind::Picture, 432, 506, 150, 150, "",
   layout_detail::kDefaultFont, true, -1, TextAlign::Default, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::Label1, "Label1", ControlKind::Label, 56, 402, 905, 17, kLabelSupportedProducts,
   layout_detail::kProductsFont, true, -1, TextAlign::Centred, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::Label2, "Label2", ControlKind::Label, 54, 721, 147, 33, kLabelTechnicalSupport,
   layout_detail::kContactFont, true, -1, TextAlign::Centred, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::Label3, "Label3", ControlKind::Label, 192, 721, 105, 33, kLabelTelephone,
   layout_detail::kContactBoldFont, true, -1, TextAlign::Centred, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::Label4, "Label4", ControlKind::Label, 430, 721, 147, 33, kLabelWebAddress,
   layout_detail::kContactFont, true, -1, TextAlign::Centred, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::Label5, "Label5", ControlKind::Label, 712, 721, 241, 33, kLabelTicketAddress,
   layout_detail::kContactFont, true, -1, TextAlign::Centred, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::cbb_DeviceList, "cbb_DeviceList", ControlKind::DropDownList, 232, 426, 177, 22,
   kDeviceListStoredText, layout_detail::kDefaultFont, false, 0, TextAlign::Default, CursorKind::Default,
   false, 14, 0, 0, false},
  {ControlId::btn_Refresh, "btn_Refresh", ControlKind::PushButton, 88, 452, 97, 25, "Refresh",
   layout_detail::kDefaultFont, false, 1, TextAlign::Default, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::btn_Exit, "btn_Exit", ControlKind::PushButton, 96, 484, 80, 33, "Exit",
   layout_detail::kButtonFont, false, 2, TextAlign::Default, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::btn_upd, "btn_upd", ControlKind::PushButton, 96, 524, 80, 33, "Update",
   layout_detail::kButtonFont, false, 3, TextAlign::Default, CursorKind::Default, false, 0, 0, 0, false},
  {ControlId::UpdateProgressBar, "UpdateProgressBar", ControlKind::ProgressBar, 400, 570, 225, 25, "",
   layout_detail::kDefaultFont, false, 4, TextAlign::Default, CursorKind::Default, false, 0, 0, 100, true},
}};
// clang-format on

// The row of a control; the table is in ControlId order.
constexpr const ControlLayout& LayoutOf(ControlId id) {
  return kControlLayout[static_cast<std::size_t>(id)];
}

// The control's name as the window knows it ("lblStaust", ...).
constexpr std::string_view ControlName(ControlId id) { return LayoutOf(id).name; }

}  // namespace corvane::app
