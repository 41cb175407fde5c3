// Every command block the tool sends to a bridge, one function each. Each takes the device path
// first and returns 1 for success, 0 for failure.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane::device {

inline constexpr std::uint32_t kInquiryLength = 40;
inline constexpr std::uint32_t kChipInfoLength = 16;
inline constexpr std::uint32_t kNvramBlockLength = 512;

int ScsiInquiry(std::string_view path, std::uint8_t* buffer, std::uint32_t length);
int ReadChipIdWord(std::string_view path, std::uint8_t* buffer);  // 2 bytes
int ReadChipInfo(std::string_view path, std::uint8_t* buffer, std::uint32_t length,
                 std::uint32_t* count);
int ReadChipInfoAlt(std::string_view path, std::uint8_t* buffer, std::uint32_t length,
                    std::uint32_t* count);
int ReadBridgeStatus(std::string_view path, std::uint8_t* buffer);  // 1 byte (2 on the wire)
int ReadFlashType(std::string_view path, std::uint8_t* buffer);     // 4 bytes
// length must be at least 8; less is a programming error that stops the process.
int ReadLegacyChipId(std::string_view path, std::uint8_t* buffer, std::uint32_t length);
int ReadChipMemory(std::string_view path, std::uint32_t address, std::uint8_t* buffer,
                   std::uint32_t length);
int WriteChipMemory(std::string_view path, std::uint32_t address, const std::uint8_t* buffer,
                    std::uint32_t length, std::uint8_t subCode);
int ProbeVendorB5(std::string_view path, std::uint8_t p, std::uint8_t q, std::uint8_t* buffer,
                  std::uint32_t length);
int RequestSense(std::string_view path);
// After a failed READ BUFFER or WRITE BUFFER, REQUEST SENSE is sent to clear the sense data.
int ReadBuffer(std::string_view path, std::uint8_t mode, std::uint8_t bufferId,
               std::uint32_t offset, std::uint8_t* buffer, std::uint32_t length);
int WriteBuffer(std::string_view path, std::uint8_t bufferId, std::uint8_t mode,
                const std::uint8_t* buffer, std::uint32_t offset, std::uint32_t length);

// Polls the busy bit every 10 ms for at most 500 re-reads; 1 when the bridge reported not busy.
int WaitBridgeReady(std::string_view path);

}  // namespace corvane::device
