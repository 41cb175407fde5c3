// The platform seam listing the present disk interfaces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane::device {

struct DiskInterface {
  DiskInterface() = default;
  // Not explicit: a path alone ({path}) is how most sources list an interface.
  DiskInterface(std::optional<std::string> interfacePath,
                std::optional<std::uint16_t> vendorId = std::nullopt,
                std::optional<std::uint16_t> productId = std::nullopt)
      : path(std::move(interfacePath)), usbVendorId(vendorId), usbProductId(productId) {}

  // The interface's path, which shows its attachment ("usbsto", "scsi" or "sbp2" in it);
  // nullopt when the platform could not read the path of this interface.
  std::optional<std::string> path;
  // The USB vendor id of the device behind the interface, where the platform can read it without
  // opening the device (Linux: sysfs); nullopt when it cannot tell or the disk is not on USB.
  std::optional<std::uint16_t> usbVendorId;
  // Its USB product id, under the same terms.
  std::optional<std::uint16_t> usbProductId;
};

class DiskSource {
 public:
  virtual ~DiskSource() = default;
  // Fills the present disk interfaces in the platform's order. False when the list cannot be
  // obtained at all.
  virtual bool ListDiskInterfaces(std::vector<DiskInterface>& interfaces) = 0;
};

}  // namespace corvane::device
