// The device backend of corvane-update-e2e: the CLI's own code, linked with this file in place of
// its Linux backend, for the end-to-end guest. The adaptors there are the bridge simulator behind a
// USB gadget on dummy_hcd, a host controller that exists only in software, so the placeholder images
// of a test build may be written to them. The port says "simulated" for that reason, and for the
// same reason refuses every data-out command to a device outside dummy_hcd: this program can never
// write a placeholder image into a real adaptor.
#include <cerrno>
#include <cstring>
#include <string>

#include "app/cli/backend.h"
#include "device/linux/sg_scsi_port.h"
#include "device/linux/sysfs_disk_source.h"
#include "device/linux/uevent_monitor.h"

namespace corvane::app::cli {
namespace {

constexpr std::string_view kVirtualController = "/devices/platform/dummy_hcd.";

class VirtualBusPort : public ScsiPort {
 public:
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    if (request.direction == DataDirection::Out && path.find(kVirtualController) == std::string_view::npos) {
      return ScsiOutcome{};  // as if the open were refused
    }
    return inner_.Execute(path, request);
  }
  bool IsSimulated() const override { return true; }

 private:
  linuxdev::SgScsiPort inner_;
};

class VirtualBusDevices : public RealDevices {
 public:
  ScsiPort& Port() override { return port_; }
  DiskSource& Disks() override { return disks_; }
  int EventDescriptor() override { return monitor_ ? monitor_->Fd() : -1; }
  std::vector<std::uint32_t> ReadDeviceEvents() override {
    std::vector<std::uint32_t> codes;
    if (!monitor_) return codes;
    for (const auto code : monitor_->ReadPending()) codes.push_back(static_cast<std::uint32_t>(code));
    return codes;
  }
  std::string OpenMonitor() {
    monitor_ = std::make_unique<linuxdev::UeventMonitor>();
    if (monitor_->Fd() >= 0) return {};
    const int error = monitor_->Error();
    monitor_.reset();
    return std::string("cannot listen for device changes: ") + std::strerror(error);
  }

 private:
  VirtualBusPort port_;
  linuxdev::SysfsDiskSource disks_;
  std::unique_ptr<linuxdev::UeventMonitor> monitor_;
};

}  // namespace

std::unique_ptr<RealDevices> OpenRealDevices(bool watchDeviceChanges, std::string& error) {
  auto devices = std::make_unique<VirtualBusDevices>();
  if (watchDeviceChanges) {
    error = devices->OpenMonitor();
    if (!error.empty()) return nullptr;
  }
  return devices;
}

}  // namespace corvane::app::cli
