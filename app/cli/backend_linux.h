// The attached devices of a Linux computer behind a given SCSI port: disks from sysfs, kernel
// uevents for the watch.
#pragma once

#include <memory>
#include <string>

#include "app/cli/backend.h"

namespace corvane::app::cli {

std::unique_ptr<RealDevices> OpenLinuxDevices(std::unique_ptr<ScsiPort> port,
                                              bool watchDeviceChanges, std::string& error);

}  // namespace corvane::app::cli
