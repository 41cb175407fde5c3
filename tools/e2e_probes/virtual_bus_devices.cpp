// corvane-update-e2e: the CLI's own code for the end-to-end guest, with a guard around the Linux
// backend's port. The adaptors there are the bridge simulator behind a USB gadget on dummy_hcd, a
// host controller that exists only in software, so the placeholder images of a test build may be
// written to them. The port says "simulated" for that reason, and for the same reason refuses
// every data-out command to a device outside dummy_hcd: this program can never write a placeholder
// image into a real adaptor.
#include <string_view>

#include "tools/e2e_probes/virtual_bus_cli.h"

namespace {

constexpr std::string_view kVirtualController = "/devices/platform/dummy_hcd.";

bool LeadsToVirtualBus(std::string_view path) {
  return path.find(kVirtualController) != std::string_view::npos;
}

}  // namespace

int main(int argc, char** argv) {
  return corvane::e2e::RunGuardedCommandLine<LeadsToVirtualBus>(argc, argv);
}
