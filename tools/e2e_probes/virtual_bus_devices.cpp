// corvane-update-e2e: the CLI's own code for the end-to-end guest, with a guard around the Linux
// backend's port. The adaptors there are the bridge simulator behind a USB gadget on dummy_hcd, a
// host controller that exists only in software, so the placeholder images of a test build may be
// written to them. The port says "simulated" for that reason, and for the same reason refuses
// every data-out command to a device outside dummy_hcd: this program can never write a placeholder
// image into a real adaptor.
#include <memory>
#include <string_view>
#include <utility>

#include "app/cli/cli_main.h"
#include "device/scsi_port.h"
#include "device/system_devices.h"

namespace {

using namespace corvane::device;

constexpr std::string_view kVirtualController = "/devices/platform/dummy_hcd.";

class VirtualBusPort : public ScsiPort {
 public:
  explicit VirtualBusPort(std::unique_ptr<ScsiPort> inner) : inner_(std::move(inner)) {}
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    if (request.direction == DataDirection::Out &&
        path.find(kVirtualController) == std::string_view::npos) {
      return ScsiOutcome{};  // as if the open were refused
    }
    return inner_->Execute(path, request);
  }
  bool IsSimulated() const override { return true; }

 private:
  std::unique_ptr<ScsiPort> inner_;
};

}  // namespace

int main(int argc, char** argv) {
  SystemDevicesOptions devices;
  devices.wrapPort = [](std::unique_ptr<ScsiPort> port) -> std::unique_ptr<ScsiPort> {
    return std::make_unique<VirtualBusPort>(std::move(port));
  };
  return corvane::app::cli::RunCommandLine(argc, argv, devices);
}
