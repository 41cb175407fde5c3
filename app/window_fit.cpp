#include "app/window_fit.h"

#include <algorithm>
#include <cmath>

namespace corvane::app {

int ScaleLength(int pixels, double scale) {
  return static_cast<int>(std::lround(static_cast<double>(pixels) * scale));
}

PixelRect ScaleRect(const PixelRect& layout, double scale) {
  const int left = ScaleLength(layout.left, scale);
  const int top = ScaleLength(layout.top, scale);
  return PixelRect{left, top, ScaleLength(layout.Right(), scale) - left, ScaleLength(layout.Bottom(), scale) - top};
}

PixelRect ScaledControlRect(ControlId id, double scale) {
  const ControlLayout& row = LayoutOf(id);
  return ScaleRect(PixelRect{row.left, row.top, row.width, row.height}, scale);
}

FontSpec ScaledFont(const FontSpec& font, double scale) {
  FontSpec scaled = font;
  scaled.heightPx = std::max(1, ScaleLength(font.heightPx, scale));
  return scaled;
}

WindowFit FitWindow(const PixelRect& workArea, int dpi, const FrameExtents& frame) {
  const double layoutWidth = kWindowLayout.clientWidth;
  const double layoutHeight = kWindowLayout.clientHeight;
  const int roomWidth = workArea.width - frame.left - frame.right;
  const int roomHeight = workArea.height - frame.top - frame.bottom;
  const double atDpi = dpi > 0 ? static_cast<double>(dpi) / kWindowLayout.designDpi : 1.0;
  // Exactly the DPI's factor whenever it fits: at 96 dpi that is 1, the table's own pixels.
  double scale = atDpi;
  if (layoutWidth * scale > roomWidth || layoutHeight * scale > roomHeight) {
    scale = std::min(roomWidth / layoutWidth, roomHeight / layoutHeight);
  }
  scale = std::max(scale, kSmallestWindowScale);

  WindowFit fit;
  fit.scale = scale;
  // Scaled by a factor taken from the room, a side never rounds past the room it was taken from.
  fit.client.width = ScaleLength(kWindowLayout.clientWidth, scale);
  fit.client.height = ScaleLength(kWindowLayout.clientHeight, scale);
  fit.window.width = fit.client.width + frame.left + frame.right;
  fit.window.height = fit.client.height + frame.top + frame.bottom;
  fit.window.left = std::max(workArea.left, workArea.left + (workArea.width - fit.window.width) / 2);
  fit.window.top = std::max(workArea.top, workArea.top + (workArea.height - fit.window.height) / 2);
  fit.client.left = fit.window.left + frame.left;
  fit.client.top = fit.window.top + frame.top;
  fit.fits = workArea.Contains(fit.window);
  return fit;
}

}  // namespace corvane::app
