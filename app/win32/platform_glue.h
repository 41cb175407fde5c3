// Everything the Win32 window needs from the Windows device backend, in one place: the live
// devices, the demo's devices, the desktop host services, the device-notification registration
// and the desktop utilities of the update check. No other file of the window calls into
// device/windows.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>

#include "device/host_services.h"
#include "device/system_devices.h"
#include "device/windows/session_end_block.h"
#include "sim/demo_session.h"

namespace corvane::app::win32 {

// The adaptors attached to this computer.
std::unique_ptr<device::SystemDevices> OpenRealDevices();
// The demo's virtual adaptors, reached the way the real ones are: through the Windows backend down
// to the API boundary. `scenario` is the session's; both must outlive the result.
std::unique_ptr<device::SystemDevices> OpenDemoDevices(sim::DemoSession& session,
                                                       const sim::Scenario& scenario);
// Real sleeps, the debugger channel and the device layer's error box on the desktop.
device::HostServices& DesktopHost();
// What a user without the rights to an adaptor is told to do.
std::string_view AccessDeniedAdvice();

// Registers `window` for notifications about USB device interfaces; nullptr when refused.
HDEVNOTIFY RegisterUsbDeviceNotification(HWND window);
void UnregisterUsbDeviceNotification(HDEVNOTIFY registration);

// The window's host services: those of `inner`, and while an adaptor is written, Windows asked not
// to end the session (the reason registered for `window`). `api` nullptr: the system's own calls
// (the tests pass the emulated ones).
using device::windows::WindowWriteGuard;
std::unique_ptr<WindowWriteGuard> OpenWindowWriteGuard(device::HostServices& inner, HWND window,
                                                       device::windows::WinApi* api);

bool IsWindows7To81();
bool IsWindows8Or81();
bool IsWindows10();
bool CloseSystemPromptDialog();

}  // namespace corvane::app::win32
