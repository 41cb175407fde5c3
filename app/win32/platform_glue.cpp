// Until the Windows device backend (device/windows) is part of the build, the bodies below are
// minimal stand-ins made of the same Windows calls; each says what replaces it.
#include "app/win32/platform_glue.h"

#include <dbt.h>
#include <setupapi.h>

#include <string>
#include <vector>

namespace corvane::app::win32 {

namespace {

// GUID_DEVINTERFACE_USB_DEVICE and GUID_DEVINTERFACE_DISK, spelled out: their headers (usbiodef.h,
// ntddstor.h) only define them with INITGUID in one translation unit.
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr GUID kDiskInterface = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

class DesktopHostServices : public device::HostServices {
 public:
  void SleepMs(std::uint32_t ms) override { ::Sleep(ms); }
  void DebugOutput(std::string_view text) override {
    const std::string line(text);  // the debugger channel takes the text as it stands
    ::OutputDebugStringA(line.c_str());
  }
  void ShowErrorBox(std::string_view text, std::string_view caption) override {
    const std::string body(text), title(caption);
    ::MessageBoxA(nullptr, body.c_str(), title.c_str(), MB_ICONERROR | MB_OK | MB_TASKMODAL);
  }
};

// Stand-in for device/windows' SetupDiDiskSource (replaced when device/windows lands): the present
// disk interfaces in SetupDi's order.
class SetupDiDisks : public device::DiskSource {
 public:
  bool ListDiskInterfaces(std::vector<device::DiskInterface>& interfaces) override {
    interfaces.clear();
    HDEVINFO set = ::SetupDiGetClassDevsA(&kDiskInterface, nullptr, nullptr,
                                          DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return false;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD index = 0; ::SetupDiEnumDeviceInterfaces(set, nullptr, &kDiskInterface, index, &data); ++index) {
      std::vector<std::uint8_t> buffer(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + 512);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      device::DiskInterface entry;
      if (::SetupDiGetDeviceInterfaceDetailA(set, &data, detail, static_cast<DWORD>(buffer.size()),
                                             nullptr, nullptr)) {
        entry.path = detail->DevicePath;
      }
      interfaces.push_back(entry);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return true;
  }
};

// Stand-in for device/windows' WinScsiPort (replaced when device/windows lands): it opens and
// closes the device as the real port does, so a refused open for lack of rights is told apart,
// but carries out no pass-through request.
class OpenOnlyPort : public device::ScsiPort {
 public:
  device::ScsiOutcome Execute(std::string_view path, const device::ScsiRequest&) override {
    device::ScsiOutcome outcome;
    const std::string name(path);
    HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      outcome.platformError = ::GetLastError();
      outcome.accessDenied = outcome.platformError == ERROR_ACCESS_DENIED;
      return outcome;
    }
    outcome.opened = true;
    outcome.platformError = ERROR_NOT_SUPPORTED;
    ::CloseHandle(handle);
    return outcome;
  }
};

class GlueDevices : public device::SystemDevices {
 public:
  GlueDevices(device::ScsiPort& port, device::DiskSource& disks, device::HostServices& host,
              device::CommandLog& log)
      : port_(port), disks_(disks), host_(host), log_(log) {}
  device::ScsiPort& Port() override { return port_; }
  device::DiskSource& Disks() override { return disks_; }
  device::HostServices& Host() override { return host_; }
  device::CommandLog& Log() override { return log_; }
  // The window receives WM_DEVICECHANGE itself (RegisterUsbDeviceNotification); the demo posts it.
  device::DeviceEventSource* OpenEvents(std::string& error) override {
    error = "device changes reach the window as WM_DEVICECHANGE";
    return nullptr;
  }

 private:
  device::ScsiPort& port_;
  device::DiskSource& disks_;
  device::HostServices& host_;
  device::CommandLog& log_;
};

class RealDevices : public GlueDevices {
 public:
  RealDevices() : GlueDevices(port_, disks_, DesktopHost(), log_) {}

 private:
  OpenOnlyPort port_;
  SetupDiDisks disks_;
  device::CommandLog log_;
};

// GetVersionExA with the extended record first, then the basic one; sizes from the headers.
bool ReportedVersion(DWORD& major, DWORD& minor) {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    info = {};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
  }
  major = info.dwMajorVersion;
  minor = info.dwMinorVersion;
  return true;
}

}  // namespace

std::unique_ptr<device::SystemDevices> OpenRealDevices() {
  // Replaced by device::OpenSystemDevices() when device/windows lands.
  return std::make_unique<RealDevices>();
}

std::unique_ptr<device::SystemDevices> OpenDemoDevices(sim::DemoSession& session) {
  // Wired to the emulated storage stack when device/windows lands: the Windows backend over an
  // EmulatedWinApi whose pass-through and SetupDi calls the session's paced port and disks answer.
  // Until then the window talks to the session's port and disks directly.
  class DemoDevices : public GlueDevices {
   public:
    explicit DemoDevices(sim::DemoSession& demo)
        : GlueDevices(demo.Port(), demo.World().Disks(), demo.Host(), demo.World().Log()) {}
  };
  return std::make_unique<DemoDevices>(session);
}

device::HostServices& DesktopHost() {
  static DesktopHostServices host;  // stateless
  return host;
}

std::string_view AccessDeniedAdvice() {
  // Replaced by device::AdviceForThisPlatform().accessDenied when device/windows lands.
  return "A drive adaptor is attached, but this program may not open it.\n"
         "Start the Corvane Update Tool as administrator (right-click it, then Run as administrator).";
}

HDEVNOTIFY RegisterUsbDeviceNotification(HWND window) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kUsbDeviceInterface;
  return ::RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UnregisterUsbDeviceNotification(HDEVNOTIFY registration) {
  if (registration != nullptr) ::UnregisterDeviceNotification(registration);
}

bool IsWindows7To81() {
  DWORD major = 0, minor = 0;
  return ReportedVersion(major, minor) && major == 6 && minor >= 1;
}

bool IsWindows8Or81() {
  DWORD major = 0, minor = 0;
  return ReportedVersion(major, minor) && major == 6 && (minor == 2 || minor == 3);
}

bool IsWindows10() {
  DWORD major = 0, minor = 0;
  return ReportedVersion(major, minor) && major == 10 && minor == 0;
}

bool CloseSystemPromptDialog() {
  HWND prompt = ::FindWindowA("#32770", "Microsoft Windows");
  if (prompt == nullptr) return false;
  ::PostMessageA(prompt, WM_CLOSE, 0, 0);
  return true;
}

}  // namespace corvane::app::win32
