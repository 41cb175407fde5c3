// The CLI's real devices on Linux: SG_IO on the sg nodes. This file defines OpenRealDevices and
// nothing else, so a program may link its own OpenRealDevices instead (the end-to-end guest's
// does) and the linker then leaves this one out of the library.
#include "app/cli/backend_linux.h"
#include "device/linux/sg_scsi_port.h"

namespace corvane::app::cli {

std::unique_ptr<RealDevices> OpenRealDevices(bool watchDeviceChanges, std::string& error) {
  return OpenLinuxDevices(std::make_unique<linuxdev::SgScsiPort>(), watchDeviceChanges, error);
}

}  // namespace corvane::app::cli
