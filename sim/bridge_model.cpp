#include "sim/bridge_model.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "firmware/carried_images.h"
#include "firmware/chip_profiles.h"
#include "sim/command_kind.h"

namespace corvane::sim {

using namespace device;

namespace {

// The firmware a bridge ran before any update: an older image of the maker's, with the header
// every image of the chip has (01 00, the maker's USB vendor id, the image kind, the maker and
// model, the version where the carried NVMe image keeps it, so a bridge's flash and its reported
// version agree) and the marker that begins the code at 0x200, around a deterministic body.
void FillOldFirmware(std::vector<std::uint8_t>& flash, const DeviceConfig& config) {
  const bool sata = config.family == ChipFamily::Kts210;
  std::uint32_t state = sata ? 0x210u : 0x260u;
  const std::uint32_t area = FirmwareAreaOf(config.family);
  for (std::uint32_t i = 0; i < area; ++i) {
    state = state * 1103515245u + 12345u;
    flash[i] = static_cast<std::uint8_t>(state >> 16);
  }
  const std::uint8_t product = sata ? 0x10 : 0x60;
  const std::uint8_t header[] = {0x01, 0x00, 0x3C, 0x9F, 0x02, product, 0x03, 0x03, 0x05, 0x05};
  std::copy(std::begin(header), std::end(header), flash.begin());
  const std::string_view model = sata ? "Quorvel KTS217" : "Quorvel KTS260";
  std::copy(model.begin(), model.end(), flash.begin() + 10);
  flash[24] = 0x01;
  // The SATA bridge's old firmware keeps its version there too, so a saved copy of the area that
  // is written back makes the bridge report that version again.
  std::copy(config.firmware.begin(), config.firmware.end(), flash.begin() + 25);
  const std::uint8_t marker[] = {0x5A, 0xC3, 0x69, 0xE1};
  std::copy(std::begin(marker), std::end(marker), flash.begin() + 0x200);
}

// The tool's profile of the chip this family is; nullptr for the other kinds of device.
const firmware::ChipProfile* ProfileOf(ChipFamily family) {
  if (family == ChipFamily::Kts210) return &firmware::kKts210Profile;
  if (family == ChipFamily::Kts260) return &firmware::kKts260Profile;
  return nullptr;
}

std::span<const std::uint8_t> CarriedFirmwareOf(ChipFamily family) {
  const firmware::ChipProfile* profile = ProfileOf(family);
  if (profile == nullptr) return {};
  return firmware::FindCarriedImage(profile->firmwareType, profile->firmwareName);
}

}  // namespace

std::span<const std::uint8_t> CarriedFirmwareArea(ChipFamily family) {
  const auto image = CarriedFirmwareOf(family);
  const std::uint32_t area = FirmwareAreaOf(family);
  if (image.size() < area) return {};
  return image.first(area);
}

BridgeModel::BridgeModel(std::shared_ptr<const DeviceConfig> config, VirtualClock& clock)
    : config_(std::move(config)), clock_(clock), flash_(kSimFlashSize, 0xFF) {
  const DeviceConfig& c = *config_;
  state_ = c.romMode && IsBridge(c.family) ? RunState::BootRom : RunState::Firmware;
  version_ = c.firmware;
  nvram_ = c.nvram;
  if (IsBridge(c.family)) {
    FillOldFirmware(flash_, c);
    // A bridge that already runs the carried firmware holds exactly the carried area.
    const auto carried = CarriedFirmwareArea(c.family);
    const firmware::ChipProfile* profile = ProfileOf(c.family);
    if (!carried.empty() && profile != nullptr && c.firmware == profile->carriedVersion) {
      std::copy(carried.begin(), carried.end(), flash_.begin());
    }
  }
  blocksWritten_.assign((FirmwareAreaOf(c.family) + 1023) / 1024, false);
  faultFired_.assign(c.faults.size(), false);
  corruptionUsed_.assign(c.corruptions.size(), false);
  plugTimeMs_ = clock_.NowMs();
}

void BridgeModel::PowerCycle() {
  // The manufacturing code lives in RAM and a half-written firmware cannot start: both leave the
  // bridge in its boot ROM, which is how an interrupted NVMe download is recovered.
  if (downloadPending_ || state_ == RunState::Manufacturing) state_ = RunState::BootRom;
  manufacturingLoaded_ = false;
  downloadPending_ = false;
  std::fill(blocksWritten_.begin(), blocksWritten_.end(), false);
  lastSense_ = {};
  plugTimeMs_ = clock_.NowMs();
}

BridgeState BridgeModel::SaveState() const {
  BridgeState s;
  s.run = state_ == RunState::BootRom         ? BridgeState::Run::BootRom
          : state_ == RunState::Manufacturing ? BridgeState::Run::Manufacturing
                                              : BridgeState::Run::Firmware;
  s.version = version_;
  s.flash = flash_;
  s.nvram = nvram_;
  s.manufacturingLoaded = manufacturingLoaded_;
  s.downloadPending = downloadPending_;
  s.blocksWritten = blocksWritten_;
  s.plugTimeMs = plugTimeMs_;
  s.lastSense = lastSense_;
  s.commandCount = commandCount_;
  s.kindCounts = kindCounts_;
  s.faultFired = faultFired_;
  s.corruptionUsed = corruptionUsed_;
  s.diskBlocks = diskBlocks_;
  return s;
}

void BridgeModel::RestoreState(const BridgeState& s) {
  // A state saved for another scenario would give the model an impossible memory or shift which
  // fault fires: refused rather than half applied.
  if (s.flash.size() != flash_.size() || s.blocksWritten.size() != blocksWritten_.size() ||
      s.faultFired.size() != faultFired_.size() || s.corruptionUsed.size() != corruptionUsed_.size()) {
    throw ScenarioError("the saved state does not fit this device (flash, download blocks or faults differ)");
  }
  if (!IsBridge(config_->family) && s.run != BridgeState::Run::Firmware) {
    throw ScenarioError("the saved state puts a device that is no bridge into its boot ROM");
  }
  state_ = s.run == BridgeState::Run::BootRom         ? RunState::BootRom
           : s.run == BridgeState::Run::Manufacturing ? RunState::Manufacturing
                                                      : RunState::Firmware;
  version_ = s.version;
  flash_ = s.flash;
  nvram_ = s.nvram;
  manufacturingLoaded_ = s.manufacturingLoaded;
  downloadPending_ = s.downloadPending;
  blocksWritten_ = s.blocksWritten;
  plugTimeMs_ = s.plugTimeMs;
  lastSense_ = s.lastSense;
  commandCount_ = s.commandCount;
  kindCounts_ = s.kindCounts;
  faultFired_ = s.faultFired;
  corruptionUsed_ = s.corruptionUsed;
  diskBlocks_ = s.diskBlocks;
}

CommandAnswer BridgeModel::Good(std::uint32_t transferred) {
  CommandAnswer a;
  a.transferred = transferred;
  return a;
}

CommandAnswer BridgeModel::Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  CommandAnswer a;
  a.scsiStatus = 2;
  a.sense = sense::Fixed(key, asc, ascq);
  lastSense_ = a.sense;
  return a;
}

CommandAnswer BridgeModel::Copy(std::span<const std::uint8_t> answer, std::uint32_t allocation,
                                std::span<std::uint8_t> data) {
  const std::size_t n = std::min<std::size_t>({answer.size(), allocation, data.size()});
  std::copy_n(answer.begin(), n, data.begin());
  return Good(static_cast<std::uint32_t>(n));
}

CommandAnswer BridgeModel::ApplyFault(FaultEffect effect, std::span<std::uint8_t> data) {
  CommandAnswer a;
  switch (effect) {
    case FaultEffect::CheckCondition:
      return Check(sense::kHardwareError, sense::kInternalTargetFailure);
    case FaultEffect::Unplug:
      a.unplugged = true;
      return a;
    case FaultEffect::Timeout:
      a.timedOut = true;
      return a;
    case FaultEffect::Ignore:
      a.transferred = static_cast<std::uint32_t>(data.size());
      return a;
  }
  return a;
}

CommandAnswer BridgeModel::Execute(std::span<const std::uint8_t> cdb, DataDirection direction,
                                   std::span<std::uint8_t> data) {
  const std::string_view kind = CommandKindName(cdb);
  ++commandCount_;
  auto it = kindCounts_.find(kind);
  if (it == kindCounts_.end()) it = kindCounts_.emplace(std::string(kind), 0).first;
  const std::uint32_t kindCount = ++it->second;

  const auto& faults = config_->faults;
  for (std::size_t i = 0; i < faults.size(); ++i) {
    if (faultFired_[i]) continue;
    const Fault& f = faults[i];
    const bool hit = f.afterCommands != 0 ? commandCount_ == f.afterCommands + 1
                                          : f.command == kind && kindCount == f.nth;
    if (hit) {
      faultFired_[i] = true;
      return ApplyFault(f.effect, data);
    }
  }
  if (cdb.empty()) return Check(sense::kIllegalRequest, sense::kInvalidOpcode);
  return Dispatch(Cdb(cdb), direction, data);
}

CommandAnswer BridgeModel::Dispatch(const Cdb& c, DataDirection direction,
                                    std::span<std::uint8_t> data) {
  const bool bridge = IsBridge(config_->family);
  // A command sent with data the wrong way round is refused before the device acts on it.
  const bool wantsOut = c.b[0] == 0x3B || (c.b[0] == 0xDF && c.b[11] == 0xFB) ||
                        c.b[0] == 0x2A || c.b[0] == 0x8A || c.b[0] == 0x0A;
  if (!data.empty() && (direction == DataDirection::Out) != wantsOut) {
    return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
  switch (c.b[0]) {
    case 0x12: return Inquiry(c, data);
    case 0x03: return RequestSense(c, data);
    case 0xDF:
      if (!bridge) break;
      if (c.b[11] == 0xFF) {
        const auto& word = config_->identification.chipIdWord;
        if (!word) return Check(sense::kIllegalRequest, sense::kInvalidOpcode);
        return Copy(*word, 2, data);
      }
      return ChipMemory(c, direction, data);
    case 0xE0:
      if (!bridge) break;
      return ChipInfo(config_->identification.chipInfo, data);
    case 0xFE:
      if (!bridge) break;
      return ChipInfo(config_->identification.chipInfoAlt, data);
    case 0xFF:
      if (!bridge) break;
      return VendorFf(c, data);
    case 0xB5:
      if (!bridge || !config_->identification.answersB5) break;
      return Good(static_cast<std::uint32_t>(data.size()));
    case 0x3C:
      if (!bridge) break;
      return ReadBuffer(c, data);
    case 0x3B:
      if (!bridge) break;
      return WriteBuffer(c, data);
    default:
      return DiskCommand(c, direction, data);
  }
  return Check(sense::kIllegalRequest, sense::kInvalidOpcode);
}

std::unique_ptr<SimBridge> MakeSimBridge(std::shared_ptr<const DeviceConfig> config,
                                         VirtualClock& clock) {
  if (!config) throw ScenarioError("no device configuration");
  return std::make_unique<BridgeModel>(std::move(config), clock);
}

}  // namespace corvane::sim
