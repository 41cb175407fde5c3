// The status line lblStaust: a label that is also the window's only button. Its class has the hand
// cursor; it draws its text centred both ways (one or two lines), greyed while disabled, and a
// disabled window gets no mouse input, so it never clicks then.
#pragma once

#include <windows.h>

#include "app/control_layout.h"

namespace corvane::app::win32 {

// Registers the window class once per process; the class name is kStatusLabelClassName.
void RegisterStatusLabelClass(HINSTANCE instance);

}  // namespace corvane::app::win32
