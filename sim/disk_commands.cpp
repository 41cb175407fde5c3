// The commands a host's disk driver sends on attach and for ordinary I/O, so that the model can
// stand in for a small disk (2048 blocks of 512 bytes by default, all zero until written).
#include <algorithm>

#include "sim/bridge_model.h"

namespace corvane::sim {

using namespace device;
namespace {

constexpr std::uint32_t kBlockSize = 512;

// Mode data: a header without block descriptors and, when asked for, the caching page.
std::vector<std::uint8_t> ModeData(bool tenByteHeader, std::uint8_t page, bool& known) {
  known = page == 0x3F || page == 0x08;
  std::vector<std::uint8_t> out(tenByteHeader ? 8 : 4, 0);
  if (page == 0x3F || page == 0x08) {
    std::vector<std::uint8_t> caching(20, 0);
    caching[0] = 0x08;
    caching[1] = 0x12;
    out.insert(out.end(), caching.begin(), caching.end());
  }
  if (tenByteHeader) {
    const auto length = static_cast<std::uint16_t>(out.size() - 2);
    out[0] = static_cast<std::uint8_t>(length >> 8);
    out[1] = static_cast<std::uint8_t>(length);
  } else {
    out[0] = static_cast<std::uint8_t>(out.size() - 1);
  }
  return out;
}

}  // namespace

CommandAnswer BridgeModel::DiskTransfer(std::uint64_t lba, std::uint32_t count, bool write,
                                        std::span<std::uint8_t> data) {
  const std::uint64_t blocks = config_->diskBlocks;
  if (lba > blocks || count > blocks - lba) {
    return Check(sense::kIllegalRequest, sense::kLbaOutOfRange);
  }
  if (std::uint64_t{count} * kBlockSize > data.size()) {
    return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    auto chunk = data.subspan(std::size_t{i} * kBlockSize, kBlockSize);
    if (write) {
      auto& stored = diskBlocks_[lba + i];
      std::copy(chunk.begin(), chunk.end(), stored.begin());
    } else {
      const auto found = diskBlocks_.find(lba + i);
      if (found == diskBlocks_.end()) {
        std::fill(chunk.begin(), chunk.end(), std::uint8_t{0});
      } else {
        std::copy(found->second.begin(), found->second.end(), chunk.begin());
      }
    }
  }
  return Good(count * kBlockSize);
}

CommandAnswer BridgeModel::DiskCommand(const Cdb& c, DataDirection direction,
                                       std::span<std::uint8_t> data) {
  (void)direction;
  const std::uint32_t lastLba = config_->diskBlocks == 0 ? 0 : config_->diskBlocks - 1;
  switch (c.b[0]) {
    case 0x00:  // TEST UNIT READY
    case 0x35:  // SYNCHRONIZE CACHE (10)
    case 0x91:  // SYNCHRONIZE CACHE (16)
    case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
    case 0x1B:  // START STOP UNIT
      return Good();
    case 0x25: {  // READ CAPACITY (10)
      std::array<std::uint8_t, 8> answer{};
      PutBe32(answer, 0, lastLba);
      PutBe32(answer, 4, kBlockSize);
      return Copy(answer, 8, data);
    }
    case 0x9E: {  // SERVICE ACTION IN: READ CAPACITY (16)
      if ((c.b[1] & 0x1F) != 0x10) break;
      std::array<std::uint8_t, 32> answer{};
      PutBe32(answer, 4, lastLba);
      PutBe32(answer, 8, kBlockSize);
      return Copy(answer, c.Be32(10), data);
    }
    case 0x1A: {  // MODE SENSE (6)
      bool known = false;
      const auto answer = ModeData(false, c.b[2] & 0x3F, known);
      if (!known) return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
      return Copy(answer, c.b[4], data);
    }
    case 0x5A: {  // MODE SENSE (10)
      bool known = false;
      const auto answer = ModeData(true, c.b[2] & 0x3F, known);
      if (!known) return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
      return Copy(answer, (std::uint32_t{c.b[7]} << 8) | c.b[8], data);
    }
    case 0x08:  // READ (6)
    case 0x0A: {  // WRITE (6)
      const std::uint32_t lba = c.Be24(1) & 0x1FFFFF;
      const std::uint32_t count = c.b[4] == 0 ? 256 : c.b[4];
      return DiskTransfer(lba, count, c.b[0] == 0x0A, data);
    }
    case 0x28:  // READ (10)
    case 0x2A:  // WRITE (10)
      return DiskTransfer(c.Be32(2), (std::uint32_t{c.b[7]} << 8) | c.b[8], c.b[0] == 0x2A, data);
    case 0x88:  // READ (16)
    case 0x8A:  // WRITE (16)
      return DiskTransfer(c.Be64(2), c.Be32(10), c.b[0] == 0x8A, data);
    case 0xA0: {  // REPORT LUNS: LUN 0 only
      std::array<std::uint8_t, 16> answer{};
      answer[3] = 8;
      return Copy(answer, c.Be32(6), data);
    }
    default:
      break;
  }
  return Check(sense::kIllegalRequest, sense::kInvalidOpcode);
}

}  // namespace corvane::sim
