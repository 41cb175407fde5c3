// The platform seam for sending one SCSI command block to a device by path.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace corvane::device {

enum class DataDirection { In, Out };

enum class OpenMode {
  Shared,     // others may read and write the device meanwhile
  Exclusive,  // the open fails rather than share (Linux: O_EXCL|O_NONBLOCK gives EBUSY)
};

struct ScsiRequest {
  std::span<const std::uint8_t> cdb;  // 10 or 12 bytes, copied unchanged
  DataDirection direction = DataDirection::In;
  // Aligned, zero-filled transfer buffer owned by the transport; empty when nothing is transferred
  // (a port maps an empty data-in transfer to "no data").
  std::span<std::uint8_t> data;
  std::uint32_t timeoutSeconds = 10;
  OpenMode openMode = OpenMode::Shared;
  // Aligned, zero-filled scratch block of the transport (1068 bytes) where a port may build its
  // platform's pass-through record.
  std::span<std::uint8_t> record;
};

struct ScsiOutcome {
  bool opened = false;              // the path could be opened
  bool carriedOut = false;          // the platform reports the request as carried out
  std::uint32_t platformError = 0;  // the platform's last error code after the request, 0 = none
  std::uint8_t scsiStatus = 0;      // the device's SCSI status byte
  std::uint32_t transferred = 0;    // byte count the platform reports
  // The open failed because this user lacks the rights to the device (EACCES/EPERM,
  // ERROR_ACCESS_DENIED); the window then tells the user how to get them.
  bool accessDenied = false;
};

class ScsiPort {
 public:
  virtual ~ScsiPort() = default;
  // Opens the path, sends exactly one request, closes the path. Never keeps a handle.
  virtual ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) = 0;
  // True only for the simulator's virtual adaptors: placeholder firmware may be written there.
  virtual bool IsSimulated() const { return false; }
};

}  // namespace corvane::device
