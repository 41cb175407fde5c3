// The bridge model behind SimBridge: identification answers, the download buffer and flash, the
// NVRAM block, the busy flag, the small disk a host sees, and the scenario's faults.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "sim/scsi_bytes.h"
#include "sim/sim.h"

namespace corvane::sim {

class BridgeModel final : public SimBridge {
 public:
  BridgeModel(std::shared_ptr<const DeviceConfig> config, VirtualClock& clock);

  CommandAnswer Execute(std::span<const std::uint8_t> cdb, device::DataDirection direction,
                        std::span<std::uint8_t> data) override;
  std::array<std::uint8_t, 4> FirmwareVersion() const override { return version_; }
  bool RomMode() const override { return state_ != RunState::Firmware; }
  std::span<const std::uint8_t> Flash() const override { return flash_; }
  std::span<const std::uint8_t> Nvram() const override { return nvram_; }
  void PowerCycle() override;
  BridgeState SaveState() const override;
  void RestoreState(const BridgeState& state) override;

 private:
  enum class RunState { Firmware, BootRom, Manufacturing };

  CommandAnswer Dispatch(const Cdb& c, device::DataDirection direction, std::span<std::uint8_t> data);
  CommandAnswer ApplyFault(FaultEffect effect, std::span<std::uint8_t> data);
  CommandAnswer Good(std::uint32_t transferred = 0);
  CommandAnswer Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0);
  CommandAnswer Copy(std::span<const std::uint8_t> answer, std::uint32_t allocation,
                     std::span<std::uint8_t> data);

  // bridge_identification.cpp
  CommandAnswer Inquiry(const Cdb& c, std::span<std::uint8_t> data);
  CommandAnswer ChipInfo(const std::optional<ChipInfoAnswer>& answer, std::span<std::uint8_t> data);
  CommandAnswer VendorFf(const Cdb& c, std::span<std::uint8_t> data);
  CommandAnswer RequestSense(const Cdb& c, std::span<std::uint8_t> data);
  bool Busy() const;

  // bridge_memory.cpp
  CommandAnswer ChipMemory(const Cdb& c, device::DataDirection direction, std::span<std::uint8_t> data);
  CommandAnswer ReadBuffer(const Cdb& c, std::span<std::uint8_t> data);
  CommandAnswer WriteBuffer(const Cdb& c, std::span<std::uint8_t> data);
  CommandAnswer WriteFlash(std::uint32_t offset, std::span<const std::uint8_t> bytes);
  std::array<std::uint8_t, 4> Descriptor() const;
  void ActivateDownload();
  std::array<std::uint8_t, 4> VersionInFlash() const;

  // disk_commands.cpp
  CommandAnswer DiskCommand(const Cdb& c, device::DataDirection direction, std::span<std::uint8_t> data);
  CommandAnswer DiskTransfer(std::uint64_t lba, std::uint32_t count, bool write,
                             std::span<std::uint8_t> data);

  std::shared_ptr<const DeviceConfig> config_;
  VirtualClock& clock_;
  RunState state_ = RunState::Firmware;
  std::array<std::uint8_t, 4> version_{};
  std::vector<std::uint8_t> flash_;
  std::array<std::uint8_t, 512> nvram_{};
  bool manufacturingLoaded_ = false;
  std::vector<bool> blocksWritten_;  // 1024-byte blocks of the firmware area since the last start
  bool downloadPending_ = false;
  std::uint64_t plugTimeMs_ = 0;
  std::array<std::uint8_t, 18> lastSense_{};
  std::uint32_t commandCount_ = 0;
  std::map<std::string, std::uint32_t, std::less<>> kindCounts_;
  std::vector<bool> faultFired_;
  std::vector<bool> corruptionUsed_;
  std::map<std::uint64_t, std::array<std::uint8_t, 512>> diskBlocks_;  // only written blocks
};

// The flash behind the download buffer: room for the largest image the tool may send.
inline constexpr std::uint32_t kSimFlashSize = 0x80000;

// The first W bytes of the firmware image the tool carries for this family; empty when none.
std::span<const std::uint8_t> CarriedFirmwareArea(ChipFamily family);

}  // namespace corvane::sim
