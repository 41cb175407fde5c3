// One SCSI command block to a device by path, through the active ScsiPort.
// Every call opens the path, sends one request and closes it again.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane::device {

inline constexpr std::uint32_t kDataInTimeoutSeconds = 10;
inline constexpr std::uint32_t kDataOutTimeoutSeconds = 50;
inline constexpr std::uint32_t kLongDataOutTimeoutSeconds = 100;

// Data from the device (or no data when length is 0), shared open, 10 s. The first `length` bytes
// of the transfer are copied into `buffer` whenever the path could be opened, also on failure;
// when the open fails, `buffer` and `transferred` stay untouched. Returns 1 only when the request
// was carried out, the platform recorded no error and the SCSI status is 0.
int PassThroughIn(std::string_view path, const std::uint8_t* cdb, std::uint8_t cdbLength,
                  std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred);

// `length` bytes from `buffer` (zeros when buffer is nullptr) to the device, exclusive open,
// time-out by DataOutTimeoutSeconds. Nothing is copied back.
int PassThroughOut(std::string_view path, const std::uint8_t* cdb, std::uint8_t cdbLength,
                   const std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred);

// 100 s when byte 2 is 0x13, or byte 11 is 0xFB with byte 1 0x03; else 50 s. Bytes past
// cdbLength count as 0.
std::uint32_t DataOutTimeoutSeconds(const std::uint8_t* cdb, std::uint8_t cdbLength);

}  // namespace corvane::device
