// What the program carries in its own module: the seven bitmaps by name, the icon, the version
// record read back through the calls the caption uses, and the picture look-up without case.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "app/form_texts.h"
#include "app/win32/picture_cache.h"
#include "app/win32/version_record.h"
#include "tests/win32/window_fixture.h"

namespace corvane::app::win32::testing {
namespace {

TEST(Win32Resources, TheSevenBitmapsAreCarriedByNameAt24BitsAndTheirSize) {
  struct Case {
    std::string_view name;
    int width, height;
  };
  const Case cases[] = {
      {kPictureBackground, 2500, 1004}, {kPictureLoading1, 512, 512}, {kPictureLoading2, 512, 512},
      {kPictureLoading3, 512, 512},     {kPictureGood, 512, 512},     {kPictureUpdate, 512, 512},
      {kPictureCross, 512, 512},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name));
    const std::string name(c.name);
    HRSRC resource = ::FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(2));  // RT_BITMAP
    ASSERT_NE(resource, nullptr);
    // BITMAPINFOHEADER (the file header is not stored) followed by 24-bit rows, bottom-up.
    const auto* header = static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(nullptr, resource)));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, c.width);
    EXPECT_EQ(header->biHeight, c.height) << "positive: bottom-up rows";
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
    const DWORD stride = (static_cast<DWORD>(c.width) * 3 + 3) & ~3u;
    EXPECT_EQ(::SizeofResource(nullptr, resource), sizeof(BITMAPINFOHEADER) + stride * static_cast<DWORD>(c.height));

    HBITMAP loaded = PictureCache::LoadOriginal(c.name);
    ASSERT_NE(loaded, nullptr);
    BITMAP bitmap{};
    ::GetObjectA(loaded, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, c.width);
    EXPECT_EQ(bitmap.bmHeight, c.height);
    ::DeleteObject(loaded);
  }
}

TEST(Win32Resources, ResourceNamesAreFoundWithoutRegardToCase) {
  for (const char* name : {"good", "Good", "cross", "Loading2"}) {
    EXPECT_NE(::FindResourceA(nullptr, name, MAKEINTRESOURCEA(2)), nullptr) << name;
  }
  EXPECT_EQ(::FindResourceA(nullptr, "SPLASH", MAKEINTRESOURCEA(2)), nullptr);
}

TEST(Win32Resources, ShowResourcePictureFindsGoodAsAskedAndLeavesUnknownNamesAlone) {
  SimWindow sim("none");
  struct Case {
    ControlId image;
    const char* asked;
    const char* shown;  // "" for nothing
  };
  const Case cases[] = {
      {ControlId::Image3, "Good", "GOOD"},
      {ControlId::Image3, "cross", "CROSS"},
      {ControlId::Image1, "background", "BACKGROUND"},
      {ControlId::Image2, "Loading3", "LOADING3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    sim.window.Form().ShowResourcePicture(c.image, c.asked);
    EXPECT_EQ(sim.window.View().PictureIn(c.image), c.shown);
    BITMAP bitmap{};
    ASSERT_NE(::GetObjectA(sim.window.View().PictureBitmap(c.image), sizeof bitmap, &bitmap), 0);
    // Stretched to the control, Image1's 1000 x 400 past the client edge included.
    EXPECT_EQ(bitmap.bmWidth, LayoutOf(c.image).width);
    EXPECT_EQ(bitmap.bmHeight, LayoutOf(c.image).height);
  }
  sim.window.Form().ShowResourcePicture(ControlId::Image3, "SPLASH");
  EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image3), "CROSS") << "an unknown name changes nothing";
}

TEST(Win32Resources, VersionRecordIs1008AndTheCaptionStaysExact) {
  const auto version = ReadOwnFileVersion();
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(*version, (FileVersion{1, 0, 0, 8}));
  EXPECT_EQ(ReadOwnVersionString("040904E4", "FileVersion"), "1.0.0.8");
  EXPECT_EQ(ReadOwnVersionString("040904E4", "ProductVersion"), "1.0.0.8");
  EXPECT_EQ(ReadOwnVersionString("040904E4", "ProductName"), "Corvane Update Tool");
  const auto translation = ReadOwnTranslation();
  ASSERT_TRUE(translation.has_value());
  EXPECT_EQ((*translation)[0], 0x0409);
  EXPECT_EQ((*translation)[1], 1252);

  SimWindow sim("none");
  EXPECT_FALSE(sim.window.View().VersionRead().has_value());
  sim.window.Start();
  EXPECT_EQ(sim.window.View().VersionRead(), version) << "FormCreate read the record";
  char caption[64] = {};
  ::GetWindowTextA(sim.window.View().Window(), caption, sizeof caption);
  EXPECT_STREQ(caption, "Corvane Update Tool");
}

TEST(Win32Resources, TheWindowClassCarriesTheProgramsIcon) {
  SimWindow sim("none");
  HICON icon = reinterpret_cast<HICON>(::GetClassLongPtrA(sim.window.View().Window(), GCLP_HICON));
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(icon, &info));
  BITMAP colour{};
  ::GetObjectA(info.hbmColor, sizeof colour, &colour);
  EXPECT_EQ(colour.bmWidth, ::GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(colour.bmWidth, colour.bmHeight);
  ::DeleteObject(info.hbmColor);
  ::DeleteObject(info.hbmMask);
}

}  // namespace
}  // namespace corvane::app::win32::testing
