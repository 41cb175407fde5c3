#include "device/windows/desktop_utilities.h"

#include <optional>
#include <utility>

namespace corvane::device::windows {
namespace {

static_assert(sizeof(OSVERSIONINFOEXA) == 156);
static_assert(sizeof(OSVERSIONINFOA) == 148);

using Version = std::pair<DWORD, DWORD>;  // major, minor

// Older systems refuse the extended record; they are asked again with the basic one.
std::optional<Version> ReportedVersion(WinApi& api) {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!api.GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    info = OSVERSIONINFOEXA{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!api.GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return std::nullopt;
  }
  return Version{info.dwMajorVersion, info.dwMinorVersion};
}

}  // namespace

bool IsWindows7To81(WinApi& api) {
  const auto version = ReportedVersion(api);
  return version && version->first == 6 && version->second >= 1;
}

bool IsWindows8Or81(WinApi& api) {
  const auto version = ReportedVersion(api);
  return version && version->first == 6 && (version->second == 2 || version->second == 3);
}

bool IsWindows10(WinApi& api) {
  const auto version = ReportedVersion(api);
  return version && version->first == 10 && version->second == 0;
}

bool CloseSystemPromptDialog(WinApi& api) {
  const HWND prompt = api.FindWindowA("#32770", "Microsoft Windows");  // the dialog-box class
  if (prompt == nullptr) return false;
  api.PostMessageA(prompt, WM_CLOSE, 0, 0);  // whether it obeys is not waited for
  return true;
}

HDEVNOTIFY RegisterUsbDeviceNotification(WinApi& api, HWND window) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof(DEV_BROADCAST_DEVICEINTERFACE_A);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = UsbDeviceInterfaceClass();
  return api.RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UnregisterUsbDeviceNotification(WinApi& api, HDEVNOTIFY registration) {
  if (registration != nullptr) api.UnregisterDeviceNotification(registration);
}

}  // namespace corvane::device::windows
