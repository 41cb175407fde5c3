// Zero-filled, 8 KiB-aligned blocks for every transfer to or from a bridge.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::device {

// Pass-through data and records start on this boundary.
inline constexpr std::size_t kTransferAlignment = 8192;

// Allocates size + alignment bytes, every byte 0. Returns nullptr when the memory cannot be had.
// Only the returned pointer may be released (FreeBuffer); only AlignUp(pointer) may be used.
void* AllocZeroed(std::size_t size, std::size_t alignment);

// The smallest multiple of alignment (a power of two) that is not below pointer.
void* AlignUp(void* pointer, std::size_t alignment);

// Releases a block from AllocZeroed; nothing happens for nullptr.
void FreeBuffer(void* pointer);

// value rounded up to a whole number of `multiple`s.
inline constexpr std::uint32_t RoundUp(std::uint32_t value, std::uint32_t multiple) {
  return (value + multiple - 1) / multiple * multiple;
}

// Owner of one aligned block: the raw pointer is released on every path.
class AlignedBlock {
 public:
  AlignedBlock() = default;
  explicit AlignedBlock(std::size_t size, std::size_t alignment = kTransferAlignment);
  ~AlignedBlock();
  AlignedBlock(AlignedBlock&& other) noexcept;
  AlignedBlock& operator=(AlignedBlock&& other) noexcept;
  AlignedBlock(const AlignedBlock&) = delete;
  AlignedBlock& operator=(const AlignedBlock&) = delete;

  explicit operator bool() const { return aligned_ != nullptr; }
  std::uint8_t* data() const { return aligned_; }
  std::size_t size() const { return size_; }

 private:
  void* raw_ = nullptr;
  std::uint8_t* aligned_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace corvane::device
