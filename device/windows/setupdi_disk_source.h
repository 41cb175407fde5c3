// The present disk interfaces, as SetupDi lists them, as a DiskSource.
#pragma once

#include <cstddef>
#include <vector>

#include "device/disk_source.h"
#include "device/windows/win_api.h"

namespace corvane::device::windows {

// The detail block the path is read into: 1024 zero-filled bytes from GlobalAlloc (fixed,
// zero-initialised), the path right behind its size field.
inline constexpr SIZE_T kInterfaceDetailBlockSize = 1024;
inline constexpr UINT kInterfaceDetailAllocFlags = GPTR;  // GMEM_FIXED | GMEM_ZEROINIT = 0x40

// Lists the present interfaces of the disk class in SetupDi's member order, each path exactly as
// Windows gives it. The walk ends at the first interface whose path cannot be read; that one is
// listed without a path (the portable discovery stops there too).
//
// The paths keep Windows' own letter case, since the candidate tests ("usbsto", "scsi", "sbp2")
// are case-sensitive on the path as given. The scan lower-cases a path before it opens it, which
// still reaches the same disk: Windows opens interface paths without regard to case.
class SetupDiDiskSource : public DiskSource {
 public:
  explicit SetupDiDiskSource(WinApi& api) : api_(api) {}
  bool ListDiskInterfaces(std::vector<DiskInterface>& interfaces) override;

 private:
  WinApi& api_;
};

}  // namespace corvane::device::windows
