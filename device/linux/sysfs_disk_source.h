// The present SCSI disks, read from sysfs, as a DiskSource.
#pragma once

#include <filesystem>
#include <vector>

#include "device/disk_source.h"

namespace corvane::device::linuxdev {

// Lists every present SCSI disk (peripheral type 0) that has an sg node, ordered by its
// host:channel:target:lun numbers, each with a path from MakeDevicePath. Disks behind other
// drivers than usb-storage, uas and firewire_sbp2 are listed too, as "internal:", so the scan
// sees them and leaves them alone.
class SysfsDiskSource : public DiskSource {
 public:
  explicit SysfsDiskSource(std::filesystem::path sysfsRoot = "/sys");
  bool ListDiskInterfaces(std::vector<DiskInterface>& interfaces) override;

 private:
  std::filesystem::path sysfsRoot_;
};

}  // namespace corvane::device::linuxdev
