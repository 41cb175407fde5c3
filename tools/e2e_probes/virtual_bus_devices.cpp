// The device backend of corvane-update-e2e: the CLI's own code, linked with this file in place of
// its Linux backend, for the end-to-end guest. The adaptors there are the bridge simulator behind a
// USB gadget on dummy_hcd, a host controller that exists only in software, so the placeholder images
// of a test build may be written to them. The port says "simulated" for that reason, and for the
// same reason refuses every data-out command to a device outside dummy_hcd: this program can never
// write a placeholder image into a real adaptor.
#include <string>

#include "app/cli/backend_linux.h"
#include "device/linux/sg_scsi_port.h"

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

}  // namespace

std::unique_ptr<RealDevices> OpenRealDevices(bool watchDeviceChanges, std::string& error) {
  return OpenLinuxDevices(std::make_unique<VirtualBusPort>(), watchDeviceChanges, error);
}

}  // namespace corvane::app::cli
