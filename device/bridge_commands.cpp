#include "device/bridge_commands.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "device/pass_through.h"
#include "device/platform.h"

namespace corvane::device {
namespace {

using VendorBlock = std::array<std::uint8_t, 12>;  // vendor blocks, INQUIRY, REQUEST SENSE
using BufferBlock = std::array<std::uint8_t, 10>;  // READ BUFFER, WRITE BUFFER

// Lengths, addresses and offsets travel in 24-bit fields.
constexpr std::uint32_t kMax24Bit = 0xFFFFFF;

constexpr std::uint8_t kBusyBit = 0x01;
constexpr std::uint32_t kReadyPollMs = 10;
constexpr int kMaxReadyRereads = 500;

constexpr std::uint8_t kWriteBufferActivateDeferred = 0x0F;

// Big-endian 24-bit field at block[at..at+2].
template <std::size_t N>
void Put24(std::array<std::uint8_t, N>& block, std::size_t at, std::uint32_t value) {
  block[at] = static_cast<std::uint8_t>(value >> 16);
  block[at + 1] = static_cast<std::uint8_t>(value >> 8);
  block[at + 2] = static_cast<std::uint8_t>(value);
}

template <std::size_t N>
int SendIn(std::string_view path, const std::array<std::uint8_t, N>& block, std::uint8_t* buffer,
           std::uint32_t length, std::uint32_t* count = nullptr) {
  std::uint32_t ignored = 0;
  return PassThroughIn(path, block.data(), static_cast<std::uint8_t>(N), buffer, length,
                       count != nullptr ? count : &ignored);
}

template <std::size_t N>
int SendOut(std::string_view path, const std::array<std::uint8_t, N>& block,
            const std::uint8_t* buffer, std::uint32_t length) {
  std::uint32_t ignored = 0;
  return PassThroughOut(path, block.data(), static_cast<std::uint8_t>(N), buffer, length,
                        &ignored);
}

// Behaves like a failed assertion of a release build that keeps its checks: the process stops.
[[noreturn]] void ContractViolation(const char* expression, const char* source) {
  std::fprintf(stderr, "Assertion failed: %s, file %s\n", expression, source);
  std::fflush(stderr);
  std::abort();
}

}  // namespace

int ScsiInquiry(std::string_view path, std::uint8_t* buffer, std::uint32_t length) {
  VendorBlock block{0x12};
  block[4] = static_cast<std::uint8_t>(length);  // allocation length: only its low byte fits
  return SendIn(path, block, buffer, length);
}

int ReadChipIdWord(std::string_view path, std::uint8_t* buffer) {
  const VendorBlock block{0xDF, 0x10, 0x00, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0xFF};
  return SendIn(path, block, buffer, 2);
}

int ReadChipInfo(std::string_view path, std::uint8_t* buffer, std::uint32_t length,
                 std::uint32_t* count) {
  const VendorBlock block{0xE0, 0xF4, 0xE7};
  return SendIn(path, block, buffer, length, count);
}

int ReadChipInfoAlt(std::string_view path, std::uint8_t* buffer, std::uint32_t length,
                    std::uint32_t* count) {
  const VendorBlock block{0xFE, 0xF4, 0xE7};
  return SendIn(path, block, buffer, length, count);
}

int ReadBridgeStatus(std::string_view path, std::uint8_t* buffer) {
  const VendorBlock block{0xFF, 0x04, 0x12};
  return SendIn(path, block, buffer, 1);
}

int ReadFlashType(std::string_view path, std::uint8_t* buffer) {
  const VendorBlock block{0xFF, 0x04, 0x23, 0x04};
  return SendIn(path, block, buffer, 4);
}

int ReadLegacyChipId(std::string_view path, std::uint8_t* buffer, std::uint32_t length) {
  // The id is eight characters; a shorter buffer is a caller bug, checked in every build.
  if (length < 0x08) ContractViolation("length >= 0x08", "IDEAccess");
  const VendorBlock block{0xFF, 0x04, 0x30, 0x08};
  return SendIn(path, block, buffer, length);
}

int ReadChipMemory(std::string_view path, std::uint32_t address, std::uint8_t* buffer,
                   std::uint32_t length) {
  // A value that does not fit its 24-bit field would address other memory than asked for.
  if (address > kMax24Bit || length > kMax24Bit) return 0;
  VendorBlock block{0xDF, 0x10};
  Put24(block, 2, length);
  Put24(block, 8, address);
  block[11] = 0xFA;
  return SendIn(path, block, buffer, length);
}

int WriteChipMemory(std::string_view path, std::uint32_t address, const std::uint8_t* buffer,
                    std::uint32_t length, std::uint8_t subCode) {
  if (address > kMax24Bit || length > kMax24Bit) return 0;
  // The bridge knows sub-code bits 0-2 and 7 only.
  VendorBlock block{0xDF, static_cast<std::uint8_t>(subCode & 0x87)};
  Put24(block, 2, length);
  Put24(block, 8, address);
  block[11] = 0xFB;
  return SendOut(path, block, buffer, length);
}

int ProbeVendorB5(std::string_view path, std::uint8_t p, std::uint8_t q, std::uint8_t* buffer,
                  std::uint32_t length) {
  VendorBlock block{0xB5};
  block[5] = p;
  block[8] = q;
  return SendIn(path, block, buffer, length);
}

int RequestSense(std::string_view path) {
  const VendorBlock block{0x03, 0x00, 0x00, 0x00, 0x12};
  std::array<std::uint8_t, 18> sense{};  // fetched only so the device drops it
  return SendIn(path, block, sense.data(), static_cast<std::uint32_t>(sense.size()));
}

int ReadBuffer(std::string_view path, std::uint8_t mode, std::uint8_t bufferId,
               std::uint32_t offset, std::uint8_t* buffer, std::uint32_t length) {
  if (offset > kMax24Bit || length > kMax24Bit) return 0;
  BufferBlock block{0x3C, mode, bufferId};
  Put24(block, 3, offset);
  Put24(block, 6, length);
  const int result = SendIn(path, block, buffer, length);
  // A failed buffer command leaves sense data pending that would fail the next command.
  if (result == 0) RequestSense(path);
  return result;
}

int WriteBuffer(std::string_view path, std::uint8_t bufferId, std::uint8_t mode,
                const std::uint8_t* buffer, std::uint32_t offset, std::uint32_t length) {
  BufferBlock block{0x3B, mode};
  // Activating deferred microcode names no buffer, offset or length in the block.
  if (mode != kWriteBufferActivateDeferred) {
    if (offset > kMax24Bit || length > kMax24Bit) return 0;
    block[2] = bufferId;
    Put24(block, 3, offset);
    Put24(block, 6, length);
  }
  const int result = SendOut(path, block, buffer, length);
  if (result == 0) RequestSense(path);
  return result;
}

int WaitBridgeReady(std::string_view path) {
  // Only the byte counts, not the read results: a failed read after an open leaves zeros (ready),
  // one whose open fails leaves the previous byte.
  std::uint8_t status = 0;
  ReadBridgeStatus(path, &status);
  for (int rereads = 0; (status & kBusyBit) != 0 && rereads < kMaxReadyRereads; ++rereads) {
    ActiveHost().SleepMs(kReadyPollMs);
    ReadBridgeStatus(path, &status);
  }
  return (status & kBusyBit) == 0 ? 1 : 0;
}

}  // namespace corvane::device
