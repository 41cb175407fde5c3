// The Win32 window's one door to the Windows device backend (device/windows).
#include "app/win32/platform_glue.h"

#include <utility>

#include "device/windows/desktop_utilities.h"
#include "device/windows/win_api.h"
#include "device/windows/win_host_services.h"
#include "device/windows/win_system_devices.h"
#include "sim/windows_interface_paths.h"

namespace corvane::app::win32 {
namespace {

// The demo's devices: the Windows backend over the emulated storage stack, which hands every
// decoded request to the session's paced port; the waits and the error box are the session's, and
// the commands go to the world's log.
class DemoDevices : public device::SystemDevices {
 public:
  DemoDevices(sim::DemoSession& session, const sim::Scenario& scenario)
      : session_(session),
        windows_(device::windows::OpenEmulatedWindowsDevices(
            sim::WindowsDiskLister(scenario, session.World()), session.Port())) {}
  device::ScsiPort& Port() override { return windows_->Port(); }
  device::DiskSource& Disks() override { return windows_->Disks(); }
  device::HostServices& Host() override { return session_.Host(); }
  device::CommandLog& Log() override { return session_.World().Log(); }
  // The window receives WM_DEVICECHANGE itself; the demo posts what its plugs report.
  device::DeviceEventSource* OpenEvents(std::string& error) override {
    error = "device changes reach the window as WM_DEVICECHANGE";
    return nullptr;
  }

 private:
  sim::DemoSession& session_;
  std::unique_ptr<device::SystemDevices> windows_;
};

}  // namespace

std::unique_ptr<device::SystemDevices> OpenRealDevices() { return device::OpenSystemDevices(); }

std::unique_ptr<device::SystemDevices> OpenDemoDevices(sim::DemoSession& session,
                                                       const sim::Scenario& scenario) {
  return std::make_unique<DemoDevices>(session, scenario);
}

device::HostServices& DesktopHost() {
  static device::windows::WinHostServices host(device::windows::SystemApi());
  return host;
}

std::string_view AccessDeniedAdvice() { return device::AdviceForThisPlatform().accessDenied; }

HDEVNOTIFY RegisterUsbDeviceNotification(HWND window) {
  return device::windows::RegisterUsbDeviceNotification(device::windows::SystemApi(), window);
}

void UnregisterUsbDeviceNotification(HDEVNOTIFY registration) {
  if (registration == nullptr) return;
  device::windows::UnregisterUsbDeviceNotification(device::windows::SystemApi(), registration);
}

std::unique_ptr<WindowWriteGuard> OpenWindowWriteGuard(device::HostServices& inner, HWND window,
                                                       device::windows::WinApi* api) {
  return std::make_unique<WindowWriteGuard>(api != nullptr ? *api : device::windows::SystemApi(),
                                            inner, window);
}

bool IsWindows7To81() { return device::windows::IsWindows7To81(); }
bool IsWindows8Or81() { return device::windows::IsWindows8Or81(); }
bool IsWindows10() { return device::windows::IsWindows10(); }
bool CloseSystemPromptDialog() { return device::windows::CloseSystemPromptDialog(); }

}  // namespace corvane::app::win32
