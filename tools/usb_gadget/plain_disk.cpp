#include "tools/usb_gadget/plain_disk.h"

#include <algorithm>
#include <cstring>

#include "sim/scsi_bytes.h"

namespace corvane::tools::usb_gadget {
namespace {

using device::DataDirection;
using sim::Cdb;
using sim::PutBe32;
using sim::sense::kIllegalRequest;
using sim::sense::kInvalidOpcode;
using sim::sense::kLbaOutOfRange;
constexpr std::uint8_t kInvalidField = sim::sense::kInvalidFieldInCdb;

}  // namespace

sim::CommandAnswer PlainDisk::Fail(std::uint8_t key, std::uint8_t asc) {
  sim::CommandAnswer answer;
  answer.scsiStatus = 2;
  sense_ = sim::sense::Fixed(key, asc);
  answer.sense = sense_;
  return answer;
}

sim::CommandAnswer PlainDisk::Transfer(std::span<std::uint8_t> data, std::span<const std::uint8_t> answer) {
  sim::CommandAnswer result;
  const std::size_t n = std::min(data.size(), answer.size());
  std::copy_n(answer.begin(), n, data.begin());
  result.transferred = static_cast<std::uint32_t>(n);
  return result;
}

sim::CommandAnswer PlainDisk::Execute(std::span<const std::uint8_t> cdb, DataDirection direction,
                                      std::span<std::uint8_t> data) {
  if (cdb.empty()) return Fail(kIllegalRequest, kInvalidOpcode);
  switch (cdb[0]) {
    case 0x00:  // TEST UNIT READY
    case 0x1B:  // START STOP UNIT
    case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
    case 0x35:  // SYNCHRONIZE CACHE
      return {};
    case 0x03: {  // REQUEST SENSE: hands out the last sense once
      std::array<std::uint8_t, 18> sense = sense_;
      if (sense[0] == 0) sense[0] = 0x70, sense[7] = 10;
      sense_ = {};
      return Transfer(data, sense);
    }
    case 0x12: {  // INQUIRY
      if (cdb.size() > 1 && (cdb[1] & 1)) return Fail(kIllegalRequest, kInvalidField);
      std::array<std::uint8_t, 36> inquiry{};
      inquiry[1] = 0x80;  // removable
      inquiry[2] = 0x06;
      inquiry[3] = 0x02;
      inquiry[4] = 31;
      std::memcpy(&inquiry[8], "Generic Flash Disk      8.07", 28);
      return Transfer(data, inquiry);
    }
    case 0x1A:    // MODE SENSE(6): header only, not write protected
    case 0x5A: {  // MODE SENSE(10)
      std::array<std::uint8_t, 8> header{};
      header[0] = cdb[0] == 0x1A ? 3 : 0;
      header[1] = cdb[0] == 0x5A ? 6 : 0;
      return Transfer(data, std::span(header).first(cdb[0] == 0x1A ? 4 : 8));
    }
    case 0x25: {  // READ CAPACITY(10)
      std::array<std::uint8_t, 8> capacity{};
      PutBe32(capacity, 0, blocks_ - 1);
      PutBe32(capacity, 4, 512);
      return Transfer(data, capacity);
    }
    case 0x28:    // READ(10)
    case 0x2A: {  // WRITE(10)
      if (cdb.size() < 10) return Fail(kIllegalRequest, kInvalidField);
      const std::uint32_t lba = Cdb(cdb).Be32(2);
      const std::uint32_t count = static_cast<std::uint32_t>(cdb[7]) << 8 | cdb[8];
      if (lba > blocks_ || count > blocks_ - lba) return Fail(kIllegalRequest, kLbaOutOfRange);
      const bool reading = cdb[0] == 0x28;
      if ((direction == DataDirection::In) != reading || data.size() < std::size_t{count} * 512) {
        return Fail(kIllegalRequest, kInvalidField);
      }
      for (std::uint32_t i = 0; i < count; ++i) {
        auto chunk = data.subspan(std::size_t{i} * 512, 512);
        if (reading) {
          auto it = written_.find(lba + i);
          if (it == written_.end()) std::fill(chunk.begin(), chunk.end(), std::uint8_t{0});
          else std::copy(it->second.begin(), it->second.end(), chunk.begin());
        } else {
          std::copy(chunk.begin(), chunk.end(), written_[lba + i].begin());
        }
      }
      sim::CommandAnswer answer;
      answer.transferred = count * 512;
      return answer;
    }
    default:
      return Fail(kIllegalRequest, kInvalidOpcode);
  }
}

}  // namespace corvane::tools::usb_gadget
