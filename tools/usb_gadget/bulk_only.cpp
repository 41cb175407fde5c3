#include "tools/usb_gadget/bulk_only.h"

#include <algorithm>

namespace corvane::tools::usb_gadget {
namespace {

std::uint32_t LittleEndian32(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void PutLittleEndian32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::optional<CommandBlockWrapper> ParseCommandBlockWrapper(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kCbwLength || LittleEndian32(bytes.subspan(0, 4)) != kCbwSignature) {
    return std::nullopt;
  }
  const std::uint8_t cdbLength = bytes[14] & 0x1F;
  if (cdbLength < 1 || cdbLength > 16) return std::nullopt;
  CommandBlockWrapper cbw;
  cbw.tag = LittleEndian32(bytes.subspan(4, 4));
  cbw.dataTransferLength = LittleEndian32(bytes.subspan(8, 4));
  cbw.dataIn = (bytes[12] & 0x80) != 0;
  cbw.lun = bytes[13] & 0x0F;
  cbw.cdb.assign(bytes.begin() + 15, bytes.begin() + 15 + cdbLength);
  return cbw;
}

std::array<std::uint8_t, kCswLength> BuildCommandStatusWrapper(std::uint32_t tag, std::uint32_t residue,
                                                               CswStatus status) {
  std::array<std::uint8_t, kCswLength> csw{};
  PutLittleEndian32(&csw[0], kCswSignature);
  PutLittleEndian32(&csw[4], tag);
  PutLittleEndian32(&csw[8], residue);
  csw[12] = static_cast<std::uint8_t>(status);
  return csw;
}

BulkOnlyTarget::BulkOnlyTarget(BulkEndpoints& endpoints, sim::SimBridge& bridge, std::mutex& bridgeLock,
                               std::uint32_t maxPacketSize)
    : endpoints_(endpoints), bridge_(bridge), bridgeLock_(bridgeLock), maxPacketSize_(maxPacketSize) {}

ServeResult BulkOnlyTarget::ServeOne() {
  // A wrapper arrives as one short packet; read a whole packet so that nothing is left behind.
  std::array<std::uint8_t, 1024> packet{};
  const long got = endpoints_.ReadOut(std::span(packet).first(std::max<std::size_t>(maxPacketSize_, kCbwLength)));
  if (got < 0) return ServeResult::PipeGone;
  const auto cbw = ParseCommandBlockWrapper(std::span(packet).first(static_cast<std::size_t>(got)));
  if (!cbw) {
    endpoints_.StallIn();
    endpoints_.StallOut();
    return ServeResult::InvalidWrapper;
  }

  const std::uint32_t hostLength = cbw->dataTransferLength;
  buffer_.assign(hostLength, 0);
  if (!cbw->dataIn && hostLength > 0) {
    // The host sends its whole data phase before it waits for the status, whatever we make of it.
    std::size_t have = 0;
    while (have < hostLength) {
      const long n = endpoints_.ReadOut(std::span(buffer_).subspan(have));
      if (n < 0) return ServeResult::PipeGone;
      if (n == 0) break;
      have += static_cast<std::size_t>(n);
    }
  }

  sim::CommandAnswer answer;
  {
    std::lock_guard lock(bridgeLock_);
    answer = bridge_.Execute(cbw->cdb, cbw->dataIn ? device::DataDirection::In : device::DataDirection::Out, buffer_);
  }
  if (answer.unplugged) return ServeResult::Unplugged;
  if (answer.timedOut) return ServeResult::Abandoned;

  const std::uint32_t moved = std::min(answer.transferred, hostLength);
  const CswStatus status = answer.scsiStatus == 0 ? CswStatus::Passed : CswStatus::Failed;
  if (cbw->dataIn && hostLength > 0) {
    // A failed command sends no data; a short answer is sent as it is and the rest of the expected
    // length is refused by a stall, so the host never waits for bytes that will not come.
    const std::uint32_t send = status == CswStatus::Passed ? moved : 0;
    if (send > 0 && endpoints_.WriteIn(std::span(buffer_).first(send)) < 0) return ServeResult::PipeGone;
    if (send < hostLength) endpoints_.StallIn();
    return Finish(*cbw, hostLength - send, status);
  }
  // The data-out phase was taken in whole; a passed command consumed it all.
  return Finish(*cbw, status == CswStatus::Passed ? 0 : hostLength - moved, status);
}

ServeResult BulkOnlyTarget::Finish(const CommandBlockWrapper& cbw, std::uint32_t residue, CswStatus status) {
  const auto csw = BuildCommandStatusWrapper(cbw.tag, residue, status);
  if (endpoints_.WriteIn(csw) < 0) return ServeResult::PipeGone;
  return ServeResult::Answered;
}

}  // namespace corvane::tools::usb_gadget
