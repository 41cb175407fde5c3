// What assistive technology gets for the status line lblStaust: the system's standard accessible
// object of the window, presented as a push button named by the status text, unavailable while
// disabled, whose default action presses it.
#pragma once

#include <windows.h>

namespace corvane::app::win32 {

// Posted to the label when assistive technology presses it; the label then clicks as for Enter.
inline constexpr UINT kStatusPressMessage = WM_APP + 3;

// The answer to WM_GETOBJECT(wParam, OBJID_CLIENT) of the label; 0 when no object could be made
// (the window procedure then leaves the message to the system).
LRESULT AnswerStatusAccessibleObject(HWND label, WPARAM wParam);

}  // namespace corvane::app::win32
