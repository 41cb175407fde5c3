// The live Linux pieces in one place, for a front end to install at start-up.
#pragma once

#include <filesystem>

#include "device/host_services.h"
#include "device/linux/sg_scsi_port.h"
#include "device/linux/sysfs_disk_source.h"
#include "device/platform.h"

namespace corvane::linuxdev {

// Owns the sg port, the sysfs disk source and standard host services; Get() hands them out as a
// Platform for ScopedPlatform. Must outlive every guard that installs it.
class LinuxPlatform {
 public:
  explicit LinuxPlatform(const std::filesystem::path& sysfsRoot = "/sys",
                         const std::filesystem::path& devRoot = "/dev")
      : port_(sysfsRoot, devRoot), disks_(sysfsRoot) {}
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  Platform Get() { return Platform{&port_, &disks_, &host_}; }

 private:
  SgScsiPort port_;
  SysfsDiskSource disks_;
  StandardHostServices host_;
};

}  // namespace corvane::linuxdev
