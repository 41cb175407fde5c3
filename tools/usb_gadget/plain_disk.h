// A plain USB stick: a small disk that answers the commands a host's disk driver sends and rejects
// every vendor command, as a stick without a bridge of the chip maker does. It lets the gadget come up
// without a scenario and gives the end-to-end run a disk that must never be admitted as an adaptor.
#pragma once

#include <map>

#include "sim/sim.h"

namespace corvane::tools::usb_gadget {

class PlainDisk : public sim::SimBridge {
 public:
  explicit PlainDisk(std::uint32_t blocks = 2048) : blocks_(blocks) {}

  sim::CommandAnswer Execute(std::span<const std::uint8_t> cdb, device::DataDirection direction,
                             std::span<std::uint8_t> data) override;
  std::array<std::uint8_t, 4> FirmwareVersion() const override { return {}; }
  bool RomMode() const override { return false; }
  std::span<const std::uint8_t> Flash() const override { return {}; }
  std::span<const std::uint8_t> Nvram() const override { return {}; }
  void PowerCycle() override { sense_ = {}; }

 private:
  sim::CommandAnswer Fail(std::uint8_t key, std::uint8_t asc);
  sim::CommandAnswer Transfer(std::span<std::uint8_t> data, std::span<const std::uint8_t> answer);

  std::uint32_t blocks_;
  std::map<std::uint32_t, std::array<std::uint8_t, 512>> written_;  // sparse: unwritten blocks read as zero
  std::array<std::uint8_t, 18> sense_{};
};

}  // namespace corvane::tools::usb_gadget
