// The USB mass-storage Bulk-Only transport, device side: one command block wrapper (CBW) in, the data
// phase, one command status wrapper (CSW) out. Every command block is handed to a bridge model; the
// endpoints are behind a small seam so that the protocol rules run against fakes in the unit tests and
// against FunctionFS endpoint files in the guest.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "sim/sim.h"

namespace corvane::tools::usb_gadget {

inline constexpr std::uint32_t kCbwSignature = 0x43425355;  // "USBC"
inline constexpr std::uint32_t kCswSignature = 0x53425355;  // "USBS"
inline constexpr std::size_t kCbwLength = 31;
inline constexpr std::size_t kCswLength = 13;

enum class CswStatus : std::uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };

struct CommandBlockWrapper {
  std::uint32_t tag = 0;
  std::uint32_t dataTransferLength = 0;
  bool dataIn = false;  // bit 7 of the flags: device to host
  std::uint8_t lun = 0;
  std::vector<std::uint8_t> cdb;  // 1 to 16 bytes
};

// A wrapper is meaningful only when it is exactly 31 bytes, carries the signature and a command block
// length of 1 to 16; anything else is answered by stalling both pipes until the host resets.
std::optional<CommandBlockWrapper> ParseCommandBlockWrapper(std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, kCswLength> BuildCommandStatusWrapper(std::uint32_t tag, std::uint32_t residue,
                                                               CswStatus status);

// The two bulk pipes of the interface. Reads and writes return the byte count, or a negative number when
// the pipe went away (port reset, unplug): the command in flight is then abandoned.
class BulkEndpoints {
 public:
  virtual ~BulkEndpoints() = default;
  virtual long ReadOut(std::span<std::uint8_t> buffer) = 0;
  virtual long WriteIn(std::span<const std::uint8_t> data) = 0;
  virtual void StallIn() = 0;
  virtual void StallOut() = 0;
};

enum class ServeResult {
  Answered,        // the CSW went out
  PipeGone,        // a read or write failed: reset or unplug, wait for the next wrapper
  InvalidWrapper,  // both pipes stalled, the host must reset the interface
  Abandoned,       // the bridge never answered (time-out): no CSW, the host will reset us
  Unplugged,       // the bridge went away during the command: the caller detaches the gadget
};

// Serves one command at a time. The bridge is shared with the control thread (which power-cycles it on
// unbind), hence the lock around every call into it.
class BulkOnlyTarget {
 public:
  BulkOnlyTarget(BulkEndpoints& endpoints, sim::SimBridge& bridge, std::mutex& bridgeLock,
                 std::uint32_t maxPacketSize);
  ServeResult ServeOne();

 private:
  ServeResult Finish(const CommandBlockWrapper& cbw, std::uint32_t residue, CswStatus status);

  BulkEndpoints& endpoints_;
  sim::SimBridge& bridge_;
  std::mutex& bridgeLock_;
  std::uint32_t maxPacketSize_;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace corvane::tools::usb_gadget
