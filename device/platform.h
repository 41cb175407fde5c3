// The process-wide pieces: which port, disk source and host services are live.
// Wired once at start-up; tests and the simulator swap them with ScopedPlatform.
#pragma once

#include "device/command_trace.h"
#include "device/disk_source.h"
#include "device/host_services.h"
#include "device/scsi_port.h"

namespace corvane::device {

struct Platform {
  ScsiPort* port = nullptr;        // nullptr: every open fails
  DiskSource* disks = nullptr;     // nullptr: the disk list cannot be obtained
  HostServices* host = nullptr;    // nullptr: StandardHostServices
  CommandLog* log = nullptr;       // nullptr: the commands sent are not logged
};

const Platform& ActivePlatform();
HostServices& ActiveHost();

// Installs a platform for the guard's lifetime and restores the previous one afterwards.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(const Platform& platform);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform previous_;
};

}  // namespace corvane::device
