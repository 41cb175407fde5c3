// The window's size and place for a work area and a DPI: grown with the DPI where the work area
// holds it, shrunk as a whole where it does not, the status line always inside the work area.
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/control_layout.h"
#include "app/window_fit.h"

namespace corvane::app {
namespace {

// A fixed-border window with a caption, as the desktop draws it at each DPI.
FrameExtents FrameAt(int dpi) {
  switch (dpi) {
    case 120: return {4, 32, 4, 4};
    case 144: return {5, 39, 5, 5};
    case 192: return {6, 52, 6, 6};
    default: return {3, 26, 3, 3};
  }
}

TEST(WindowFit, ScalesWithTheDpiAndShrinksToTheWorkArea) {
  struct Case {
    const char* what;
    PixelRect work;
    int dpi;
    double scale;
    int clientWidth, clientHeight;
  };
  const Case cases[] = {
      // Room enough: the table's pixels at 96 dpi, grown by the DPI above it.
      {"1920x1040 at 100 %", {0, 0, 1920, 1040}, 96, 1.0, 997, 756},
      {"1920x1040 at 125 %", {0, 0, 1920, 1040}, 120, 1.25, 1246, 945},
      // 150 % and 200 % would be taller than the work area: as tall as it, less the frame.
      {"1920x1040 at 150 %", {0, 0, 1920, 1040}, 144, 996.0 / 756, 1314, 996},
      {"1920x1040 at 200 %", {0, 0, 1920, 1040}, 192, 982.0 / 756, 1295, 982},
      {"2560x1400 at 200 %", {0, 0, 2560, 1400}, 192, 1342.0 / 756, 1770, 1342},
      // Laptop and netbook screens less their taskbar or panel.
      {"1366x728 at 100 %", {0, 0, 1366, 728}, 96, 699.0 / 756, 922, 699},
      {"1280x680 at 100 %", {0, 0, 1280, 680}, 96, 651.0 / 756, 859, 651},
      {"1280x680 below a top panel", {0, 40, 1280, 680}, 96, 651.0 / 756, 859, 651},
      {"1024x728 at 100 %", {0, 0, 1024, 728}, 96, 699.0 / 756, 922, 699},
      {"1024x728 at 125 %", {0, 0, 1024, 728}, 120, 692.0 / 756, 913, 692},
      // A portrait monitor: the width is what limits.
      {"1080x1880 portrait at 150 %", {0, 0, 1080, 1880}, 144, 1070.0 / 997, 1070, 811},
      // A second monitor left of the first.
      {"1366x728 at -1366", {-1366, 0, 1366, 728}, 96, 699.0 / 756, 922, 699},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const FrameExtents frame = FrameAt(c.dpi);
    const WindowFit fit = FitWindow(c.work, c.dpi, frame);
    EXPECT_NEAR(fit.scale, c.scale, 1e-9);
    EXPECT_EQ(fit.client.width, c.clientWidth);
    EXPECT_EQ(fit.client.height, c.clientHeight);
    EXPECT_TRUE(fit.fits);
    EXPECT_TRUE(c.work.Contains(fit.window));
    EXPECT_EQ(fit.window.width, fit.client.width + frame.left + frame.right);
    EXPECT_EQ(fit.window.height, fit.client.height + frame.top + frame.bottom);
    EXPECT_EQ(fit.client.left, fit.window.left + frame.left);
    EXPECT_EQ(fit.client.top, fit.window.top + frame.top);
    // Centred: the space left and right differs by at most one pixel, and so above and below.
    EXPECT_LE(std::abs((fit.window.left - c.work.left) - (c.work.Right() - fit.window.Right())), 1);
    EXPECT_LE(std::abs((fit.window.top - c.work.top) - (c.work.Bottom() - fit.window.Bottom())), 1);
    // The status line, the window's only button, is on the screen in full.
    PixelRect status = ScaledControlRect(ControlId::lblStaust, fit.scale);
    status.left += fit.client.left;
    status.top += fit.client.top;
    EXPECT_TRUE(c.work.Contains(status)) << status.left << "," << status.top << " " << status.width << "x"
                                         << status.height;
    EXPECT_TRUE(PixelRect({0, 0, fit.client.width, fit.client.height})
                    .Contains(ScaledControlRect(ControlId::lblStaust, fit.scale)));
  }
}

TEST(WindowFit, AWorkAreaTooSmallToReadStillShowsTheTitleBar) {
  const PixelRect work{100, 50, 320, 240};
  const WindowFit fit = FitWindow(work, 96, FrameAt(96));
  EXPECT_DOUBLE_EQ(fit.scale, kSmallestWindowScale);
  EXPECT_FALSE(fit.fits);
  EXPECT_EQ(fit.window.left, work.left);
  EXPECT_EQ(fit.window.top, work.top);
}

TEST(WindowFit, RectanglesAndFontsScaleByTheirEdges) {
  // At scale 1 every control is exactly the table's.
  for (const ControlLayout& row : kControlLayout) {
    EXPECT_EQ(ScaledControlRect(row.id, 1.0), (PixelRect{row.left, row.top, row.width, row.height})) << row.name;
    EXPECT_EQ(ScaledFont(row.font, 1.0).heightPx, row.font.heightPx) << row.name;
  }
  struct Case {
    ControlId id;
    double scale;
    PixelRect rect;
  };
  // lblStaust spans 56..961 x 657..722: its edges are scaled and rounded, its size follows from them.
  for (const Case& c : {Case{ControlId::lblStaust, 0.5, {28, 329, 453, 32}},
                        Case{ControlId::lblStaust, 1.5, {84, 986, 1358, 97}},
                        Case{ControlId::Image1, 0.5, {0, 0, 500, 200}}}) {
    EXPECT_EQ(ScaledControlRect(c.id, c.scale), c.rect) << ControlName(c.id) << " at " << c.scale;
  }
  const FontSpec status = LayoutOf(ControlId::lblStaust).font;
  EXPECT_EQ(ScaledFont(status, 0.5).heightPx, 11);
  EXPECT_EQ(ScaledFont(status, 0.02).heightPx, 1);
  EXPECT_EQ(ScaledFont(status, 0.5).face, status.face);
}

}  // namespace
}  // namespace corvane::app
