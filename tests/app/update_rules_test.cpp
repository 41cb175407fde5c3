// The pure rules of the window: version decision, picture names, animation frames, bus prefixes,
// the entry text of an INQUIRY answer and the layout table's own consistency.
#include <gtest/gtest.h>
#include <ostream>

#include <array>
#include <regex>
#include <set>
#include <string>

#include "app/control_layout.h"
#include "app/device_scan.h"
#include "app/form.h"
#include "app/update_check.h"
#include "device/chip_identification.h"

namespace corvane::app {
namespace {

using namespace ::corvane::device;

std::array<std::uint8_t, 16> ChipInfo(std::array<std::uint8_t, 4> version, bool bootRom) {
  std::array<std::uint8_t, 16> info{0xF4, 0xE7, 0x3C, 0x9F, 0x00, 0x00, 0x01};
  info[6] = bootRom ? 0 : 1;
  for (std::size_t i = 0; i < 4; ++i) info[12 + i] = version[i];
  return info;
}

struct VersionCase {
  std::uint8_t chip;
  std::array<std::uint8_t, 4> version;
  bool bootRom;
  VersionVerdict expected;
};

// Test names and failure messages show the chip and version, not raw bytes.
void PrintTo(const VersionCase& c, std::ostream* out) {
  *out << "chip 0x" << std::hex << int(c.chip) << std::dec << " " << int(c.version[0]) << "."
       << int(c.version[1]) << "." << int(c.version[2]) << "." << int(c.version[3])
       << (c.bootRom ? " boot-ROM" : "");
}

class DecideVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(DecideVersionTest, GivesTheListedVerdict) {
  const VersionCase& c = GetParam();
  EXPECT_EQ(DecideVersion(c.chip, ChipInfo(c.version, c.bootRom)), c.expected)
      << int(c.chip) << " " << int(c.version[0]) << "." << int(c.version[1]) << "."
      << int(c.version[2]) << "." << int(c.version[3]) << " rom=" << c.bootRom;
}

constexpr std::uint8_t k210 = kChipCodeKts210;
constexpr std::uint8_t k260 = kChipCodeKts260;
using V = VersionVerdict;

INSTANTIATE_TEST_SUITE_P(
    Table, DecideVersionTest,
    ::testing::Values(
        // SATA bridge: 0.{1,2}.1.{>=4} is current, everything else is offered the update.
        VersionCase{k210, {0, 2, 1, 4}, false, V::Current},
        VersionCase{k210, {0, 1, 1, 9}, false, V::Current},
        VersionCase{k210, {0, 2, 1, 255}, false, V::Current},
        VersionCase{k210, {0, 2, 1, 3}, false, V::UpdateOffered},
        VersionCase{k210, {0, 2, 0, 9}, false, V::UpdateOffered},
        VersionCase{k210, {0, 3, 1, 4}, false, V::UpdateOffered},
        VersionCase{k210, {1, 2, 1, 4}, false, V::UpdateOffered},
        VersionCase{k210, {0, 0, 1, 4}, false, V::UpdateOffered},
        VersionCase{k210, {234, 1, 0, 1}, false, V::UpdateOffered},
        // NVMe bridge, running firmware.
        VersionCase{k260, {234, 1, 0, 1}, false, V::Current},
        VersionCase{k260, {0, 1, 0, 8}, false, V::UpdateOffered},
        VersionCase{k260, {0, 2, 0, 0}, false, V::UpdateOffered},
        VersionCase{k260, {0, 1, 0, 9}, false, V::Current},
        VersionCase{k260, {0, 2, 0, 200}, false, V::Current},
        VersionCase{k260, {234, 1, 0, 2}, false, V::Unlisted},
        VersionCase{k260, {234, 2, 0, 1}, false, V::Unlisted},
        VersionCase{k260, {0, 3, 0, 1}, false, V::Unlisted},
        VersionCase{k260, {0, 1, 1, 0}, false, V::Unlisted},
        // NVMe bridge in its boot ROM: offered whatever it reports, the carried version included.
        VersionCase{k260, {234, 1, 0, 1}, true, V::UpdateOffered},
        VersionCase{k260, {0, 1, 0, 9}, true, V::UpdateOffered},
        VersionCase{k260, {9, 9, 9, 9}, true, V::UpdateOffered},
        // Bytes compare unsigned: 0x80 and above are large, not negative.
        VersionCase{k260, {0, 1, 0, 0x80}, false, V::Current},
        // No other chip has listed versions.
        VersionCase{0x12, {0, 2, 1, 4}, false, V::Unlisted}));

TEST(PictureNames, MatchWithoutRegardToCase) {
  const std::pair<std::string_view, std::string_view> rows[] = {
      {"Good", "GOOD"},   {"good", "GOOD"},         {"GOOD", "GOOD"},
      {"cross", "CROSS"}, {"Loading3", "LOADING3"}, {"background", "BACKGROUND"},
      {"GOODS", ""},      {"", ""},                 {"LOADING4", ""},
  };
  for (const auto& [asked, canonical] : rows) {
    EXPECT_EQ(CanonicalPictureName(asked), canonical) << asked;
  }
}

TEST(AnimationFrames, TurnClockwiseFromTheTopArrow) {
  const std::pair<int, std::string_view> rows[] = {
      {1, "LOADING2"}, {2, "LOADING3"}, {3, "LOADING1"}, {4, "LOADING2"},
      {5, "LOADING3"}, {6, "LOADING1"}, {3001, "LOADING2"},
  };
  for (const auto& [counter, frame] : rows) EXPECT_EQ(AnimationFrameName(counter), frame) << counter;
}

TEST(BusPrefixes, FollowTheLowerCasedPath) {
  const std::pair<std::string_view, std::string_view> rows[] = {
      {"\\\\?\\usbstor#disk&ven_corvane", "<<USB>> "},
      {"\\\\?\\scsi#disk&ven_corvane", "<<UASP>> "},
      {"\\\\?\\sbp2#disk", "<<1394>> "},
      {"sbp2/with/scsi/inside", "<<1394>> "},
      {"sim/usbstor/0", "<<USB>> "},
      {"sim/scsi/1", "<<UASP>> "},
  };
  for (const auto& [path, prefix] : rows) EXPECT_EQ(BusPrefix(BusOf(path)), prefix) << path;
}

TEST(InquiryEntryText, TakesVendorAndProductAsPaddedUpToANul) {
  std::array<std::uint8_t, 40> answer{};
  const std::string padded = "Corvane CV-E2510 Dock   ";
  for (std::size_t i = 0; i < 24; ++i) answer[8 + i] = static_cast<std::uint8_t>(padded[i]);
  answer[32] = 'X';  // the revision is not part of it
  EXPECT_EQ(InquiryEntryText(answer.data()), padded);
  answer[15] = 0;
  EXPECT_EQ(InquiryEntryText(answer.data()), "Corvane");
  answer[8] = 0;
  EXPECT_EQ(InquiryEntryText(answer.data()), "");
}

TEST(ControlLayout, RowsStandInControlIdOrderWithUniqueNames) {
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < kControlLayout.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(kControlLayout[i].id), i) << kControlLayout[i].name;
    EXPECT_TRUE(names.insert(kControlLayout[i].name).second) << kControlLayout[i].name;
  }
  EXPECT_EQ(LayoutOf(ControlId::lblStaust).name, "lblStaust");
  EXPECT_EQ(LayoutOf(ControlId::UpdateProgressBar).rangeMax, 100);
}

// The window as its layout is written down, value by value: the table the front ends build from
// must say exactly this.
TEST(ControlLayout, MatchesTheWrittenLayout) {
  using K = ControlKind;
  using C = SystemColour;
  using F = FontCharset;
  struct Row {
    const char* name;
    K kind;
    int left, top, width, height;
    const char* text;  // nullptr: not checked here (vendor data)
    const char* face;
    int fontPx;
    bool bold;
    C colour;
    int grey;  // RGB(grey, grey, grey) when colour is None
    F charset;
    bool shown;
    int tab;
    bool centred, hand;
    int itemHeight, rangeMax;
    bool smooth;
  };
  const char* ms = "MS Sans Serif";
  const char* jhengHei = "微軟正黑體";
  const Row rows[] = {
      {"Image1", K::Picture, 0, 0, 1000, 400, "", ms, 11, false, C::MenuHilight, 0, F::EastEurope, true, -1, false, false, 0, 0, false},
      {"Image2", K::Picture, 432, 504, 150, 150, "", ms, 11, false, C::MenuHilight, 0, F::EastEurope, true, -1, false, false, 0, 0, false},
      {"lblStaust", K::Label, 56, 657, 905, 65, "", ms, 21, false, C::MenuHilight, 0, F::Arabic, true, 5, true, true, 0, 0, false},
      {"Image3", K::Picture, 432, 506, 150, 150, "", ms, 11, false, C::MenuHilight, 0, F::EastEurope, true, -1, false, false, 0, 0, false},
      {"Label1", K::Label, 56, 402, 905, 17, nullptr, ms, 11, false, C::None, 128, F::EastEurope, true, -1, true, false, 0, 0, false},
      {"Label2", K::Label, 54, 721, 147, 33, "Technical Support", ms, 16, false, C::InactiveCaptionText, 0, F::Arabic, true, -1, true, false, 0, 0, false},
      {"Label3", K::Label, 192, 721, 105, 33, nullptr, ms, 16, true, C::InactiveCaptionText, 0, F::Arabic, true, -1, true, false, 0, 0, false},
      {"Label4", K::Label, 430, 721, 147, 33, nullptr, ms, 16, false, C::InactiveCaptionText, 0, F::Arabic, true, -1, true, false, 0, 0, false},
      {"Label5", K::Label, 712, 721, 241, 33, nullptr, ms, 16, false, C::InactiveCaptionText, 0, F::Arabic, true, -1, true, false, 0, 0, false},
      {"cbb_DeviceList", K::DropDownList, 232, 426, 177, 22, "DeviceList", ms, 11, false, C::MenuHilight, 0, F::EastEurope, false, 0, false, false, 14, 0, false},
      {"btn_Refresh", K::PushButton, 88, 452, 97, 25, "Refresh", ms, 11, false, C::MenuHilight, 0, F::EastEurope, false, 1, false, false, 0, 0, false},
      {"btn_Exit", K::PushButton, 96, 484, 80, 33, "Exit", jhengHei, 16, false, C::WindowText, 0, F::Ansi, false, 2, false, false, 0, 0, false},
      {"btn_upd", K::PushButton, 96, 524, 80, 33, "Update", jhengHei, 16, false, C::WindowText, 0, F::Ansi, false, 3, false, false, 0, 0, false},
      {"UpdateProgressBar", K::ProgressBar, 400, 570, 225, 25, "", ms, 11, false, C::MenuHilight, 0, F::EastEurope, false, 4, false, false, 0, 100, true},
  };
  ASSERT_EQ(std::size(rows), kControlLayout.size());
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    const ControlLayout& c = kControlLayout[i];
    SCOPED_TRACE(r.name);
    EXPECT_EQ(c.name, r.name);
    EXPECT_EQ(c.kind, r.kind);
    using Box = std::array<int, 4>;
    EXPECT_EQ((Box{c.left, c.top, c.width, c.height}), (Box{r.left, r.top, r.width, r.height}));
    if (r.text != nullptr) {
      EXPECT_EQ(c.text, r.text);
    }
    EXPECT_EQ(c.font.face, r.face);
    EXPECT_EQ(c.font.heightPx, r.fontPx);
    EXPECT_EQ(c.font.bold, r.bold);
    EXPECT_EQ(c.font.colour.system, r.colour);
    using Rgb = std::array<int, 3>;
    EXPECT_EQ((Rgb{c.font.colour.red, c.font.colour.green, c.font.colour.blue}),
              (Rgb{r.grey, r.grey, r.grey}));
    EXPECT_EQ(c.font.charset, r.charset);
    EXPECT_EQ(c.shown, r.shown);
    EXPECT_EQ(c.tabOrder, r.tab);
    EXPECT_EQ(c.align == TextAlign::Centred, r.centred);
    EXPECT_EQ(c.cursor == CursorKind::HandPoint, r.hand);
    EXPECT_FALSE(c.autoSize);
    EXPECT_EQ(c.itemHeight, r.itemHeight);
    EXPECT_EQ(c.rangeMin, 0);
    EXPECT_EQ(c.rangeMax, r.rangeMax);
    EXPECT_EQ(c.smoothBar, r.smooth);
  }
  const WindowLayout& w = kWindowLayout;
  using Four = std::array<int, 4>;
  EXPECT_EQ((Four{w.clientWidth, w.clientHeight, w.designDpi, w.textHeight}), (Four{997, 756, 96, 14}));
  EXPECT_FALSE(w.resizable);
  EXPECT_TRUE(w.minimizeButton);
  EXPECT_FALSE(w.maximizeButton);
  EXPECT_TRUE(w.centredOnDesktop);
  EXPECT_EQ(w.background.system, C::BtnHighlight);
  EXPECT_EQ(w.defaultFont.face, ms);
  EXPECT_EQ(w.defaultFont.heightPx, 11);
  EXPECT_FALSE(w.defaultFont.bold);
  EXPECT_EQ(w.defaultFont.colour.system, C::MenuHilight);
  EXPECT_EQ(w.defaultFont.charset, F::EastEurope);
  EXPECT_EQ(w.storedCaption, "Form1");
}

TEST(ControlLayout, ContactLabelsCarryOurOwnInventedData) {
  const std::string products(LayoutOf(ControlId::Label1).text);
  const std::string lead = "Corvane Product Supported: ";
  ASSERT_EQ(products.rfind(lead, 0), 0u);
  const std::regex code("CV-[A-Z][0-9]{4}");
  const std::string list = products.substr(lead.size());
  std::size_t count = 0;
  std::set<std::string> seen;
  for (std::size_t start = 0;;) {
    const std::size_t end = list.find(", ", start);
    const std::string item = list.substr(start, end == std::string::npos ? end : end - start);
    EXPECT_TRUE(std::regex_match(item, code)) << item;
    EXPECT_TRUE(seen.insert(item).second) << item;
    ++count;
    if (end == std::string::npos) break;
    start = end + 2;
  }
  EXPECT_EQ(count, 15u);
  EXPECT_TRUE(std::regex_search(std::string(LayoutOf(ControlId::Label3).text),
                                std::regex("555-01[0-9][0-9]$")));
  EXPECT_NE(LayoutOf(ControlId::Label4).text.find(".example"), std::string_view::npos);
  EXPECT_NE(LayoutOf(ControlId::Label5).text.find(".example/"), std::string_view::npos);
}

}  // namespace
}  // namespace corvane::app
