// Small desktop helpers of the update check and the window: the Windows version tests, closing the
// shell's own prompt, and the registration for USB device notifications.
#pragma once

#include "device/windows/win_api.h"

namespace corvane::device::windows {

// By the version Windows reports to this program (GetVersionExA, extended record first, then the
// basic one; false when both fail). The manifest declares no supported-system list, so Windows
// 8.1 and later report 6.2 to it.
bool IsWindows7To81(WinApi& api = SystemApi());  // 6.1 and any later 6.x
bool IsWindows8Or81(WinApi& api = SystemApi());  // 6.2 or 6.3
bool IsWindows10(WinApi& api = SystemApi());     // 10.0

// The shell raises its prompts (for example "format the disk in drive E: before you can use it",
// when it cannot read the disk behind an adaptor) as a dialog titled "Microsoft Windows". Posts
// WM_CLOSE to one such window without waiting; false when there is none.
bool CloseSystemPromptDialog(WinApi& api = SystemApi());

// Registers `window` for arrival and removal notifications of USB device interfaces. nullptr when
// Windows refuses; the window still gets the node-change broadcasts every top-level window gets.
HDEVNOTIFY RegisterUsbDeviceNotification(WinApi& api, HWND window);
// Releases a registration; nothing happens for nullptr.
void UnregisterUsbDeviceNotification(WinApi& api, HDEVNOTIFY registration);

}  // namespace corvane::device::windows
