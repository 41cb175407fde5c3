// How big the main window is shown and where. The layout table is drawn at 96 dpi; on a monitor of
// higher DPI the whole window grows with it, and where the work area (the monitor less its taskbar
// or panels) cannot hold the window with its frame, the whole window shrinks until it fits. Every
// rectangle and font height shrinks or grows by the same factor, so the layout keeps its
// proportions; at 96 dpi on a work area that holds it the window is exactly the table's.
#pragma once

#include "app/control_layout.h"

namespace corvane::app {

struct PixelRect {
  int left = 0, top = 0, width = 0, height = 0;
  constexpr int Right() const { return left + width; }
  constexpr int Bottom() const { return top + height; }
  constexpr bool Contains(const PixelRect& inner) const {
    return inner.left >= left && inner.top >= top && inner.Right() <= Right() && inner.Bottom() <= Bottom();
  }
  friend constexpr bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The window's frame around its client area (title bar on top), in device pixels as the platform
// draws it at the monitor's DPI.
struct FrameExtents {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// Below this the texts could no longer be read; a work area that small gets a window larger than
// itself, placed with its title bar on the screen.
inline constexpr double kSmallestWindowScale = 0.4;

struct WindowFit {
  double scale = 1.0;   // device pixels per layout pixel
  PixelRect client;     // the client area on the screen
  PixelRect window;     // the whole window, frame included
  bool fits = true;     // the whole window lies inside the work area
};

// The window for a monitor of `dpi` whose work area is `workArea` (device pixels), centred on it.
// The title bar never starts above the work area or left of it.
WindowFit FitWindow(const PixelRect& workArea, int dpi, const FrameExtents& frame);

// A length of the layout at `scale`; font heights are never made smaller than one pixel.
int ScaleLength(int pixels, double scale);
// A rectangle of the layout (client pixels at 96 dpi) at `scale`. Its edges are scaled, not its
// size, so controls that touch in the layout still touch; at scale 1 it is the rectangle itself.
PixelRect ScaleRect(const PixelRect& layout, double scale);
PixelRect ScaledControlRect(ControlId id, double scale);
// The control's font at `scale`.
FontSpec ScaledFont(const FontSpec& font, double scale);

}  // namespace corvane::app
