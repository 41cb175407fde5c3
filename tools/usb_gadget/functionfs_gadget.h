// A USB gadget on the kernel's configfs and FunctionFS: one configuration with one Bulk-Only mass-storage
// interface whose endpoints are files that this process reads and writes. Plugging and unplugging is
// binding the gadget to a device controller (dummy_udc.N in the guest) and unbinding it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/usb_gadget/bulk_only.h"

namespace corvane::tools::usb_gadget {

struct GadgetIdentity {
  std::string name;  // configfs gadget folder, FunctionFS instance and mount point /dev/ffs-<name>
  std::string udc;   // device controller to bind to
  std::uint16_t vendorId = 0x3C9F;
  std::uint16_t productId = 0x0001;
  std::string manufacturer = "Corvane";
  std::string product = "Corvane adaptor";
  std::string serial = "000000000001";
};

class FunctionFsGadget : public BulkEndpoints {
 public:
  explicit FunctionFsGadget(GadgetIdentity identity);
  ~FunctionFsGadget() override;
  FunctionFsGadget(const FunctionFsGadget&) = delete;
  FunctionFsGadget& operator=(const FunctionFsGadget&) = delete;

  // Builds the configfs tree, mounts FunctionFS and hands it the descriptors. Throws std::runtime_error
  // naming the step that failed.
  void Create();
  void Plug();
  void Unplug();

  // Serves ep0 until the process ends: the class requests of the interface, and the power-cycle of the
  // bridge whenever the gadget is unbound (unplugged), as a real adaptor loses power.
  void RunControl(const std::function<void()>& onUnbind);

  long ReadOut(std::span<std::uint8_t> buffer) override;
  long WriteIn(std::span<const std::uint8_t> data) override;
  void StallIn() override;
  void StallOut() override;

 private:
  std::string GadgetDir() const;
  std::string MountDir() const;

  GadgetIdentity identity_;
  int ep0_ = -1;
  int in_ = -1;
  int out_ = -1;
};

}  // namespace corvane::tools::usb_gadget
