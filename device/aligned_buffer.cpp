#include "device/aligned_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <utility>

namespace corvane::device {

void* AllocZeroed(std::size_t size, std::size_t alignment) {
  // The extra `alignment` bytes leave room for AlignUp; a size that would wrap around is refused
  // rather than turned into a tiny block.
  if (size > std::numeric_limits<std::size_t>::max() - alignment) return nullptr;
  return std::calloc(size + alignment, 1);
}

void* AlignUp(void* pointer, std::size_t alignment) {
  const auto mask = static_cast<std::uintptr_t>(alignment) - 1;
  const auto address = reinterpret_cast<std::uintptr_t>(pointer);
  return reinterpret_cast<void*>((address + mask) & ~mask);
}

void FreeBuffer(void* pointer) { std::free(pointer); }

AlignedBlock::AlignedBlock(std::size_t size, std::size_t alignment)
    : raw_(AllocZeroed(size, alignment)) {
  if (raw_ != nullptr) {
    aligned_ = static_cast<std::uint8_t*>(AlignUp(raw_, alignment));
    size_ = size;
  }
}

AlignedBlock::~AlignedBlock() { FreeBuffer(raw_); }

AlignedBlock::AlignedBlock(AlignedBlock&& other) noexcept
    : raw_(std::exchange(other.raw_, nullptr)),
      aligned_(std::exchange(other.aligned_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

AlignedBlock& AlignedBlock::operator=(AlignedBlock&& other) noexcept {
  if (this != &other) {
    FreeBuffer(raw_);
    raw_ = std::exchange(other.raw_, nullptr);
    aligned_ = std::exchange(other.aligned_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

}  // namespace corvane::device
