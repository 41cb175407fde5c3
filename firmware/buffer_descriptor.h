// The bridge's download-buffer descriptor (READ BUFFER mode 03h, buffer 0) as the flash procedure
// reads it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "device/bridge_commands.h"

namespace corvane::firmware {

// Offset boundary 2^10: firmware or manufacturing code runs and takes 1024-byte blocks.
inline constexpr std::uint8_t kBoundaryRunning = 0x0A;
// The boot ROM answers with this boundary; it takes only the manufacturing image.
inline constexpr std::uint8_t kBoundaryBootRom = 0xFF;
inline constexpr std::uint32_t kFlashBlockSize = 1024;

inline constexpr std::uint8_t kModeDescriptor = 0x03;
inline constexpr std::uint8_t kModeVendorData = 0x01;
inline constexpr std::uint8_t kModeDownloadAndActivate = 0x06;
inline constexpr std::uint8_t kModeDownloadDeferred = 0x0E;

struct BufferDescriptor {
  std::uint8_t offsetBoundary = 0;
  std::uint32_t capacity = 0;
};

// Reads the descriptor into zeroed bytes; false when the READ BUFFER fails.
inline bool ReadBufferDescriptor(std::string_view path, BufferDescriptor& descriptor) {
  std::array<std::uint8_t, 4> bytes{};
  const bool ok = device::ReadBuffer(path, kModeDescriptor, 0, 0, bytes.data(), 4) != 0;
  descriptor.offsetBoundary = bytes[0];
  descriptor.capacity = (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
  return ok;
}

}  // namespace corvane::firmware
