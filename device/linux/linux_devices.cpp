// The live devices of a Linux computer: SG_IO on the sg nodes, the disks from sysfs, the kernel's
// uevents for the watch, and what a user without rights to an adaptor does about it.
#include <cstring>
#include <memory>
#include <utility>

#include "device/linux/sg_scsi_port.h"
#include "device/linux/sysfs_disk_source.h"
#include "device/linux/uevent_monitor.h"
#include "device/system_devices.h"

namespace corvane::device {
namespace {

class LinuxDevices : public SystemDevices {
 public:
  explicit LinuxDevices(std::unique_ptr<ScsiPort> port) : port_(std::move(port)) {}
  ScsiPort& Port() override { return *port_; }
  DiskSource& Disks() override { return disks_; }
  HostServices& Host() override { return host_; }
  CommandLog& Log() override { return log_; }

  // The kernel's events are read only by those who watch: the other users do without the socket.
  DeviceEventSource* OpenEvents(std::string& error) override {
    if (monitor_) return monitor_.get();
    auto monitor = std::make_unique<linuxdev::UeventMonitor>();
    if (monitor->Descriptor() < 0) {
      error = std::string("cannot listen for device changes: ") + std::strerror(monitor->Error());
      return nullptr;
    }
    monitor_ = std::move(monitor);
    return monitor_.get();
  }

 private:
  std::unique_ptr<ScsiPort> port_;
  linuxdev::SysfsDiskSource disks_;
  StandardHostServices host_;
  CommandLog log_;
  std::unique_ptr<linuxdev::UeventMonitor> monitor_;
};

}  // namespace

std::unique_ptr<SystemDevices> OpenSystemDevices(const SystemDevicesOptions& options) {
  std::unique_ptr<ScsiPort> port = std::make_unique<linuxdev::SgScsiPort>();
  if (options.wrapPort) port = options.wrapPort(std::move(port));
  return std::make_unique<LinuxDevices>(std::move(port));
}

const PlatformAdvice& AdviceForThisPlatform() {
  static const PlatformAdvice advice{
      "A drive adaptor is attached, but this user is not allowed to open it.\n"
      "Install the udev rule 70-corvane-update.rules (the package does this), then unplug and "
      "re-plug the adaptor; if it still fails, log out and in again.",
      "To run it once without the rule: sudo corvane-update <command> ...",
  };
  return advice;
}

}  // namespace corvane::device
