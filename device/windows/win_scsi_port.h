// ScsiPort on the Windows storage stack: one IOCTL_SCSI_PASS_THROUGH_DIRECT request on the disk's
// interface path per call.
#pragma once

#include <cstddef>

#include "device/scsi_port.h"
#include "device/windows/win_api.h"

// clang-format off
#include <ntddscsi.h>
// clang-format on

namespace corvane::device::windows {

// Where the record's SenseInfoOffset points: right behind the record, rounded up to 16 bytes.
// That is 48 on 32-bit x86 (a 44-byte record) and 64 on x64 (a 56-byte record), so the offset
// always lies behind the record inside the transport's 1068-byte block. No sense data is asked
// for (SenseInfoLength 0); the offset only has to be one Windows accepts.
inline constexpr std::size_t kSenseInfoOffset =
    (sizeof(SCSI_PASS_THROUGH_DIRECT) + 15) & ~std::size_t{15};

// Sent to a disk's own device object, the request reaches that disk whatever the address fields
// say (the port driver puts in the disk's own address); the record names target 1, lun 0.
inline constexpr UCHAR kPassThroughTargetId = 1;

class WinScsiPort : public ScsiPort {
 public:
  explicit WinScsiPort(WinApi& api) : api_(api) {}
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override;

 private:
  WinApi& api_;
};

// Fills the SCSI_PASS_THROUGH_DIRECT record at the start of request.record (zeroing it first) and
// returns it. nullptr when the request cannot be expressed: record block too small, command block
// empty or longer than 16 bytes, transfer above 4 GiB.
SCSI_PASS_THROUGH_DIRECT* BuildPassThroughRecord(const ScsiRequest& request);

}  // namespace corvane::device::windows
