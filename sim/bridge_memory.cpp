// The bridge's memory: the download buffer and its descriptor, the serial flash behind it, the
// boot ROM's manufacturing-code download and the NVRAM block in chip memory.
#include <algorithm>

#include "firmware/chip_profiles.h"
#include "sim/bridge_model.h"

namespace corvane::sim {

using namespace device;
namespace {

constexpr std::uint8_t kModeVendorData = 0x01;
constexpr std::uint8_t kModeDescriptor = 0x03;
constexpr std::uint8_t kModeDownloadOffsetsActivate = 0x06;
constexpr std::uint8_t kModeDownloadOffsetsDefer = 0x0E;
constexpr std::uint8_t kModeActivateDeferred = 0x0F;
constexpr std::uint8_t kSubCodeWriteNvram = 0x01;
constexpr std::uint8_t kSubCodeStartCode = 0x03;

}  // namespace

std::array<std::uint8_t, 4> BridgeModel::Descriptor() const {
  const ChipFamily family = config_->family;
  std::uint8_t boundary = config_->offsetBoundary;
  std::uint32_t capacity = config_->capacity.value_or(FirmwareAreaOf(family));
  if (state_ == RunState::BootRom) {
    boundary = 0xFF;
    capacity = RomCapacityOf(family);
  } else if (state_ == RunState::Manufacturing) {
    boundary = 0x0A;
  }
  return {boundary, static_cast<std::uint8_t>(capacity >> 16), static_cast<std::uint8_t>(capacity >> 8),
          static_cast<std::uint8_t>(capacity)};
}

std::array<std::uint8_t, 4> BridgeModel::VersionInFlash() const {
  std::array<std::uint8_t, 4> v{};
  std::copy_n(flash_.begin() + 25, 4, v.begin());
  if (config_->family != ChipFamily::Kts210) return v;
  // The SATA image carries "0103" in its header, which is not the version its firmware reports;
  // the carried firmware reports 0.2.1.4.
  const auto carried = CarriedFirmwareArea(ChipFamily::Kts210);
  if (!carried.empty() && std::equal(carried.begin(), carried.end(), flash_.begin())) {
    return firmware::kKts210Profile.carriedVersion;
  }
  if (std::all_of(v.begin(), v.end(), [](std::uint8_t d) { return d >= '0' && d <= '9'; })) {
    for (auto& d : v) d = static_cast<std::uint8_t>(d - '0');
  }
  return v;
}

void BridgeModel::ActivateDownload() {
  state_ = RunState::Firmware;
  version_ = VersionInFlash();
  downloadPending_ = false;
  manufacturingLoaded_ = false;
  std::fill(blocksWritten_.begin(), blocksWritten_.end(), false);
}

CommandAnswer BridgeModel::WriteFlash(std::uint32_t offset, std::span<const std::uint8_t> bytes) {
  // A download that starts again at offset 0 is a new one: the blocks of an earlier, incomplete
  // one do not count towards it. Otherwise a download that lost a block and is then sent again
  // whole would be taken as complete at its first block, and the rest of it would stand as a new,
  // unfinished download that leaves the bridge in its boot ROM after the next power cycle.
  if (offset == 0) std::fill(blocksWritten_.begin(), blocksWritten_.end(), false);
  std::copy(bytes.begin(), bytes.end(), flash_.begin() + offset);
  const std::uint32_t end = offset + static_cast<std::uint32_t>(bytes.size());
  for (std::uint32_t block = offset / 1024; block * 1024 < end && block < blocksWritten_.size();
       ++block) {
    blocksWritten_[block] = true;
    downloadPending_ = true;
  }
  // Once the whole firmware area has arrived the bridge starts the new firmware by itself.
  if (downloadPending_ && std::all_of(blocksWritten_.begin(), blocksWritten_.end(),
                                      [](bool written) { return written; })) {
    ActivateDownload();
  }
  return Good(static_cast<std::uint32_t>(bytes.size()));
}

CommandAnswer BridgeModel::ReadBuffer(const Cdb& c, std::span<std::uint8_t> data) {
  const std::uint8_t mode = c.b[1] & 0x1F;
  const std::uint8_t bufferId = c.b[2];
  const std::uint32_t offset = c.Be24(3);
  const std::uint32_t length = c.Be24(6);
  const IdentificationAnswers& id = config_->identification;

  if (bufferId == 1) {
    if (!id.buffer1OffsetBoundary || *id.buffer1OffsetBoundary > 16) {
      return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
    }
    const std::uint32_t size = 1u << *id.buffer1OffsetBoundary;
    if (mode == kModeDescriptor) {
      const std::array<std::uint8_t, 4> d{*id.buffer1OffsetBoundary,
                                          static_cast<std::uint8_t>(size >> 16),
                                          static_cast<std::uint8_t>(size >> 8),
                                          static_cast<std::uint8_t>(size)};
      return Copy(d, length, data);
    }
    if (mode != kModeVendorData || offset > size || length > size - offset) {
      return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
    }
    std::vector<std::uint8_t> contents(size, 0);
    std::copy_n(id.buffer1Data.begin(), std::min<std::size_t>(size, id.buffer1Data.size()),
                contents.begin());
    return Copy(std::span<const std::uint8_t>(contents).subspan(offset), length, data);
  }
  if (bufferId != 0) return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);

  if (mode == kModeDescriptor) return Copy(Descriptor(), length, data);
  if (mode != kModeVendorData || state_ == RunState::BootRom) {
    // The boot ROM cannot read the flash back; only descriptor and download are understood.
    return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
  const std::uint32_t granularity = 1u << std::min<std::uint8_t>(config_->offsetBoundary, 16);
  if (offset % granularity != 0 || offset > kSimFlashSize || length > kSimFlashSize - offset) {
    return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
  CommandAnswer answer =
      Copy(std::span<const std::uint8_t>(flash_).subspan(offset, length), length, data);
  const auto& corruptions = config_->corruptions;
  for (std::size_t i = 0; i < corruptions.size(); ++i) {
    const ReadBackCorruption& k = corruptions[i];
    if (k.offset < offset || k.offset - offset >= answer.transferred) continue;
    if (k.once && corruptionUsed_[i]) continue;
    corruptionUsed_[i] = true;
    data[k.offset - offset] ^= 0xFF;
  }
  return answer;
}

CommandAnswer BridgeModel::WriteBuffer(const Cdb& c, std::span<std::uint8_t> data) {
  const std::uint8_t mode = c.b[1] & 0x1F;
  if (mode == kModeActivateDeferred) {
    if (downloadPending_ && std::all_of(blocksWritten_.begin(), blocksWritten_.end(),
                                        [](bool written) { return written; })) {
      ActivateDownload();
    }
    return Good(static_cast<std::uint32_t>(data.size()));
  }
  const std::uint8_t bufferId = c.b[2];
  const std::uint32_t offset = c.Be24(3);
  const std::uint32_t length = c.Be24(6);
  if (bufferId != 0 || length > data.size()) {
    return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
  const auto bytes = std::span<const std::uint8_t>(data.data(), length);

  if (state_ == RunState::BootRom) {
    // The boot ROM takes one thing: the whole manufacturing code into its RAM.
    const std::uint32_t rom = RomCapacityOf(config_->family);
    if (mode != kModeDownloadOffsetsActivate || offset != 0 || length != rom) {
      return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
    }
    manufacturingLoaded_ = true;
    return Good(length);
  }
  if (mode != kModeDownloadOffsetsActivate && mode != kModeDownloadOffsetsDefer) {
    return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
  const std::uint32_t granularity = 1u << std::min<std::uint8_t>(config_->offsetBoundary, 16);
  if (offset % granularity != 0 || offset > kSimFlashSize || length > kSimFlashSize - offset) {
    return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
  return WriteFlash(offset, bytes);
}

CommandAnswer BridgeModel::ChipMemory(const Cdb& c, DataDirection direction,
                                      std::span<std::uint8_t> data) {
  const bool write = c.b[11] == 0xFB;
  if (!write && c.b[11] != 0xFA) return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  const std::uint32_t length = c.Be24(2);
  const std::uint32_t address = c.Be24(8);
  (void)direction;

  if (write && c.b[1] == kSubCodeStartCode) {
    // Starts the code in RAM: the manufacturing code after its download into the boot ROM.
    if (state_ == RunState::BootRom) {
      if (!manufacturingLoaded_) return Check(sense::kIllegalRequest, sense::kSequenceError);
      state_ = RunState::Manufacturing;
      manufacturingLoaded_ = false;
    }
    return Good();
  }
  if (write && c.b[1] != kSubCodeWriteNvram) {
    return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
  if (!write && c.b[1] != 0x10) return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);

  // Only the NVRAM block is reachable through chip memory here.
  const std::uint32_t base = NvramAddressOf(config_->family);
  if (length == 0 || address < base || address - base > nvram_.size() ||
      length > nvram_.size() - (address - base) || length > data.size()) {
    return Check(sense::kIllegalRequest, sense::kLbaOutOfRange);
  }
  const std::size_t at = address - base;
  if (write) {
    std::copy_n(data.begin(), length, nvram_.begin() + static_cast<std::ptrdiff_t>(at));
    return Good(length);
  }
  return Copy(std::span<const std::uint8_t>(nvram_).subspan(at, length), length, data);
}

}  // namespace corvane::sim
