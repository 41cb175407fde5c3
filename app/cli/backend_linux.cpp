// The attached devices of a Linux computer: sg nodes found through sysfs, kernel uevents.
#include "app/cli/backend_linux.h"

#include <cerrno>
#include <cstring>

#include "device/linux/sysfs_disk_source.h"
#include "device/linux/uevent_monitor.h"

namespace corvane::app::cli {
namespace {

class LinuxDevices : public RealDevices {
 public:
  explicit LinuxDevices(std::unique_ptr<ScsiPort> port) : port_(std::move(port)) {}
  ScsiPort& Port() override { return *port_; }
  DiskSource& Disks() override { return disks_; }
  int EventDescriptor() override { return monitor_ ? monitor_->Fd() : -1; }
  std::vector<std::uint32_t> ReadDeviceEvents() override {
    std::vector<std::uint32_t> codes;
    if (!monitor_) return codes;
    for (const auto code : monitor_->ReadPending()) codes.push_back(static_cast<std::uint32_t>(code));
    return codes;
  }
  // Only the watch needs the kernel's events; the other verbs do without the socket.
  std::string OpenMonitor() {
    monitor_ = std::make_unique<linuxdev::UeventMonitor>();
    if (monitor_->Fd() >= 0) return {};
    const int error = monitor_->Error();
    monitor_.reset();
    return std::string("cannot listen for device changes: ") + std::strerror(error);
  }

 private:
  std::unique_ptr<ScsiPort> port_;
  linuxdev::SysfsDiskSource disks_;
  std::unique_ptr<linuxdev::UeventMonitor> monitor_;
};

}  // namespace

std::unique_ptr<RealDevices> OpenLinuxDevices(std::unique_ptr<ScsiPort> port,
                                              bool watchDeviceChanges, std::string& error) {
  auto devices = std::make_unique<LinuxDevices>(std::move(port));
  if (watchDeviceChanges) {
    error = devices->OpenMonitor();
    if (!error.empty()) return nullptr;
  }
  return devices;
}

}  // namespace corvane::app::cli
