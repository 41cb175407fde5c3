#include "device/pass_through.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "device/aligned_buffer.h"
#include "device/platform.h"
#include "device/scsi_port.h"

namespace corvane::device {
namespace {

// The platform's pass-through record is 44 bytes; the 1024 bytes behind it are where a sense
// offset of 48 would point. A port builds its own record in this block.
constexpr std::size_t kRecordBlockSize = 1068;
constexpr std::uint8_t kMaxCdbLength = 16;  // the record's command-block field

// A one-byte data phase always travels as two bytes; the caller still gets only its one byte.
std::uint32_t TransferLength(std::uint32_t length) { return length == 1 ? 2 : length; }

struct Transfer {
  std::string_view path;
  std::span<const std::uint8_t> cdb;
  DataDirection direction;
  std::uint32_t length;         // what the caller asked for (L)
  std::uint32_t timeoutSeconds;
  OpenMode openMode;
  std::uint8_t* inBuffer;       // data-in: where the L bytes go back
  const std::uint8_t* outBuffer;  // data-out: the caller's L bytes, or nullptr for zeros
  std::uint32_t* transferred;
};

int Send(const Transfer& t) {
  const Platform platform = ActivePlatform();
  ScsiPort* port = platform.port;
  // No port wired is the same as a path that cannot be opened: nothing of the caller's changes.
  if (port == nullptr) return 0;

  // An allocation failure is reported like a failed open: result 0, the device is never opened
  // and the caller's buffer and count stay as they were.
  AlignedBlock record(kRecordBlockSize);
  if (!record) return 0;
  const std::uint32_t wireLength = TransferLength(t.length);
  AlignedBlock data;
  if (wireLength != 0) {
    data = AlignedBlock(wireLength);
    if (!data) return 0;
  }
  // The caller's buffer is never handed to the platform; data-out is staged in our own copy.
  if (t.direction == DataDirection::Out && t.outBuffer != nullptr && t.length != 0) {
    std::memcpy(data.data(), t.outBuffer, t.length);
  }

  ScsiRequest request;
  request.cdb = t.cdb;
  request.direction = t.direction;
  request.data = std::span<std::uint8_t>(data.data(), wireLength);
  request.timeoutSeconds = t.timeoutSeconds;
  request.openMode = t.openMode;
  request.record = std::span<std::uint8_t>(record.data(), kRecordBlockSize);

  const ScsiOutcome outcome = port->Execute(t.path, request);
  if (platform.log != nullptr) platform.log->Record(t.path, request, outcome);
  if (!outcome.opened) return 0;

  // Copied back whatever the result: a failed read leaves what the device sent, or zeros.
  if (t.direction == DataDirection::In && t.length != 0 && t.inBuffer != nullptr) {
    std::memcpy(t.inBuffer, data.data(), t.length);
  }
  if (t.transferred != nullptr) *t.transferred = outcome.transferred;

  return outcome.carriedOut && outcome.platformError == 0 && outcome.scsiStatus == 0 ? 1 : 0;
}

bool ValidBlock(const std::uint8_t* cdb, std::uint8_t cdbLength) {
  return cdb != nullptr && cdbLength != 0 && cdbLength <= kMaxCdbLength;
}

}  // namespace

int PassThroughIn(std::string_view path, const std::uint8_t* cdb, std::uint8_t cdbLength,
                  std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred) {
  if (!ValidBlock(cdb, cdbLength)) return 0;
  return Send({path, {cdb, cdbLength}, DataDirection::In, length, kDataInTimeoutSeconds,
               OpenMode::Shared, buffer, nullptr, transferred});
}

int PassThroughOut(std::string_view path, const std::uint8_t* cdb, std::uint8_t cdbLength,
                   const std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred) {
  if (!ValidBlock(cdb, cdbLength)) return 0;
  // Exclusive: nobody else may touch the device while it takes data that may end up in flash.
  return Send({path, {cdb, cdbLength}, DataDirection::Out, length,
               DataOutTimeoutSeconds(cdb, cdbLength), OpenMode::Exclusive, nullptr, buffer,
               transferred});
}

std::uint32_t DataOutTimeoutSeconds(const std::uint8_t* cdb, std::uint8_t cdbLength) {
  // Looked at as 12 bytes: a shorter block reads as zeros past its end.
  std::uint8_t block[12] = {};
  if (cdb != nullptr) std::copy_n(cdb, std::min<std::size_t>(cdbLength, sizeof block), block);
  // Committing a downloaded image (write chip memory, sub-code 3) takes the bridge far longer.
  const bool longCommand = block[2] == 0x13 || (block[11] == 0xFB && block[1] == 0x03);
  return longCommand ? kLongDataOutTimeoutSeconds : kDataOutTimeoutSeconds;
}

}  // namespace corvane::device
