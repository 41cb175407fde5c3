#include "sim/scsi_bytes.h"

#include <algorithm>

namespace corvane::sim {

Cdb::Cdb(std::span<const std::uint8_t> cdb) {
  std::copy_n(cdb.begin(), std::min(cdb.size(), b.size()), b.begin());
}
std::uint32_t Cdb::Be24(std::size_t at) const {
  return (std::uint32_t{b[at]} << 16) | (std::uint32_t{b[at + 1]} << 8) | b[at + 2];
}
std::uint32_t Cdb::Be32(std::size_t at) const {
  return (std::uint32_t{b[at]} << 24) | Be24(at + 1);
}
std::uint64_t Cdb::Be64(std::size_t at) const {
  return (std::uint64_t{Be32(at)} << 32) | Be32(at + 4);
}

void PutBe32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::array<std::uint8_t, 18> sense::Fixed(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  std::array<std::uint8_t, 18> s{};
  s[0] = 0x70;  // current error, fixed format
  s[2] = key;
  s[7] = 10;  // additional sense length: bytes 8..17
  s[12] = asc;
  s[13] = ascq;
  return s;
}

}  // namespace corvane::sim
