#include "device/windows/win_system_devices.h"

#include <utility>

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
