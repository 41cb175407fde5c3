// The platform seam listing the present disk interfaces.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvane::device {

struct DiskInterface {
  // The interface's path, which shows its attachment ("usbsto", "scsi" or "sbp2" in it);
  // nullopt when the platform could not read the path of this interface.
  std::optional<std::string> path;
};

class DiskSource {
 public:
  virtual ~DiskSource() = default;
  // Fills the present disk interfaces in the platform's order. False when the list cannot be
  // obtained at all.
  virtual bool ListDiskInterfaces(std::vector<DiskInterface>& interfaces) = 0;
};

}  // namespace corvane::device
