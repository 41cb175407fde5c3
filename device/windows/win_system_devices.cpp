#include "device/windows/win_system_devices.h"

#include <utility>

#include "device/windows/emulated_win_api.h"
#include "device/windows/setupdi_disk_source.h"
#include "device/windows/win_device_events.h"
#include "device/windows/win_host_services.h"
#include "device/windows/win_scsi_port.h"

namespace corvane::device {
namespace windows {
namespace {

class WindowsDevices : public SystemDevices {
 public:
  WindowsDevices(std::shared_ptr<WinApi> api, const SystemDevicesOptions& options)
      : api_(std::move(api)), disks_(*api_), host_(*api_) {
    std::unique_ptr<ScsiPort> port = std::make_unique<WinScsiPort>(*api_);
    port_ = options.wrapPort ? options.wrapPort(std::move(port)) : std::move(port);
  }

  ScsiPort& Port() override { return *port_; }
  DiskSource& Disks() override { return disks_; }
  HostServices& Host() override { return host_; }
  CommandLog& Log() override { return log_; }

  DeviceEventSource* OpenEvents(std::string& error) override {
    if (!events_) events_ = WinDeviceEventSource::Open(*api_, error);
    return events_.get();
  }

 private:
  std::shared_ptr<WinApi> api_;  // declared first: everything below uses it
  std::unique_ptr<ScsiPort> port_;
  SetupDiDiskSource disks_;
  WinHostServices host_;
  CommandLog log_;
  std::unique_ptr<WinDeviceEventSource> events_;
};

// The process-wide SystemApi() lives for the whole process; this owner only shares it.
std::shared_ptr<WinApi> SharedSystemApi() {
  return std::shared_ptr<WinApi>(&SystemApi(), [](WinApi*) {});
}

}  // namespace

std::unique_ptr<SystemDevices> OpenWindowsDevices(std::shared_ptr<WinApi> api,
                                                  const SystemDevicesOptions& options) {
  return std::make_unique<WindowsDevices>(std::move(api), options);
}

// The Windows port over the emulated stack reaches only the inner port, so it is as simulated as
// that one: placeholder images may go where the inner port says they may.
class EmulatedStackPort : public ScsiPort {
 public:
  EmulatedStackPort(std::unique_ptr<ScsiPort> windowsPort, const ScsiPort& inner)
      : windowsPort_(std::move(windowsPort)), inner_(inner) {}
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    return windowsPort_->Execute(path, request);
  }
  bool IsSimulated() const override { return inner_.IsSimulated(); }

 private:
  std::unique_ptr<ScsiPort> windowsPort_;
  const ScsiPort& inner_;
};

std::unique_ptr<SystemDevices> OpenEmulatedWindowsDevices(EmulatedDiskLister disks,
                                                          ScsiPort& inner) {
  auto api = std::make_shared<EmulatedWinApi>(std::move(disks), inner);
  api->Configure().keepLog = false;
  SystemDevicesOptions options;
  options.wrapPort = [&inner](std::unique_ptr<ScsiPort> port) -> std::unique_ptr<ScsiPort> {
    return std::make_unique<EmulatedStackPort>(std::move(port), inner);
  };
  return OpenWindowsDevices(std::move(api), options);
}

}  // namespace windows

std::unique_ptr<SystemDevices> OpenSystemDevices(const SystemDevicesOptions& options) {
  return windows::OpenWindowsDevices(windows::SharedSystemApi(), options);
}

const PlatformAdvice& AdviceForThisPlatform() {
  static const PlatformAdvice advice{
      "A drive adaptor is attached, but this program may not open it.\n"
      "Start the Corvane Update Tool as administrator (right-click it, then Run as "
      "administrator).",
      "Open the command prompt with Run as administrator and run corvane-update again."};
  return advice;
}

}  // namespace corvane::device
