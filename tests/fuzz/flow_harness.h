// The window's whole journey (start-up scan, update check, clicks, device changes, update run) on
// the simulator's adaptors, through TForm1 and a recording view on virtual time. The fuzzer's bytes
// choose the adaptors, the user's and the system's actions, and for every command whether the
// bridge answers as modelled or fails, times out, goes away, loses or corrupts data, or reports a
// wrong count. The invariants that make a result honest are checked as the flow goes.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/form_texts.h"
#include "device/ascii_text.h"
#include "device/device_events.h"
#include "device/platform.h"
#include "firmware/carried_images.h"
#include "firmware/chip_profiles.h"
#include "sim/command_kind.h"
#include "sim/scenario.h"
#include "sim/sim.h"
#include "tests/app/recording_view.h"
#include "tests/support/bounded_clock.h"
#include "tests/fuzz/fuzz_support.h"

namespace corvane::fuzz {

enum class FlowKind {
  Check,  // start-up, device changes and rescans; the user never clicks
  Run,    // the same, and the user clicks the offered update
};

// Counts how deep the form's operations are inside their own message processing.
class DepthView : public app::testing::RecordingView {
 public:
  // A long input may rescan far more often than a test does.
  explicit DepthView(sim::VirtualClock& clock) : RecordingView(clock) { bounds.scans = 10000; }
  void ProcessPendingMessages() override {
    ++depth;
    RecordingView::ProcessPendingMessages();
    --depth;
  }
  int depth = 0;
};

// One command as the tool was told it went.
struct Delivered {
  std::string path;  // lower-cased
  std::string_view kind;
  std::vector<std::uint8_t> cdb;
  bool succeeded = false;
  std::vector<std::uint8_t> data;  // data-in bytes the tool received (first 40 only)
};

inline std::uint32_t Be24(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t{b[at]} << 16 | std::uint32_t{b[at + 1]} << 8 | b[at + 2];
}

class FlowHarness {
 public:
  FlowHarness(const std::uint8_t* data, std::size_t size, FlowKind kind)
      : fuzz_(data, size), kind_(kind) {}

  void Run() {
    BuildWorld();
    device::Platform platform = world_->MakePlatform(host_);
    platform.port = &port_;
    device::ScopedPlatform scoped(platform);
    view_.Attach(form_);
    view_.onCall = [this](const std::string& call) { OnCall(call); };
    view_.onProcess = [this] { InsideProcessing(); };
    world_->SetPlugListener([this](std::size_t, bool plugged) {
      for (std::uint32_t code : sim::PlugEventCodes(plugged)) view_.PostDeviceChange(code);
    });

    form_.Start();
    form_.FormCreate();
    AfterTopLevel();
    const int actions = fuzz_.ConsumeIntegralInRange(1, 6);
    for (int i = 0; i < actions; ++i) {
      TopLevelAction();
      AfterTopLevel();
    }
    view_.IdleFor(1000);  // whatever rescan is still due runs now
    AfterTopLevel();
    for (int p : view_.progress) FUZZ_REQUIRE(p >= 0 && p <= 100);
    // Replaying one input with CORVANE_FUZZ_VERBOSE=1 shows what the window did.
    if (std::getenv("CORVANE_FUZZ_VERBOSE") != nullptr) {
      for (const std::string& call : view_.calls) std::fprintf(stderr, "  %s\n", call.c_str());
      std::fprintf(stderr, "  (%zu commands, %d runs)\n", delivered_.size(), runs_);
    }
  }

 private:
  // The port between the transport and the simulator.
  class Port : public device::ScsiPort {
   public:
    explicit Port(FlowHarness& h) : h_(h) {}
    device::ScsiOutcome Execute(std::string_view path, const device::ScsiRequest& r) override {
      return h_.Execute(path, r);
    }
    bool IsSimulated() const override { return true; }

   private:
    FlowHarness& h_;
  };

  // ---- the adaptors ----

  void BuildWorld() {
    const std::uint8_t shape = fuzz_.ConsumeIntegral<std::uint8_t>();
    const std::size_t count = shape < 0xC0 ? 1 : shape < 0xF0 ? 2 : 3;
    std::vector<sim::DeviceConfig> devices;
    for (std::size_t i = 0; i < count; ++i) devices.push_back(FuzzedDevice());
    world_ = std::make_unique<sim::SimWorld>(sim::ScenarioOf(std::move(devices)), clock_);
  }

  sim::DeviceConfig FuzzedDevice() {
    const std::uint8_t kind = fuzz_.ConsumeIntegral<std::uint8_t>();
    constexpr sim::ChipFamily kFamilies[] = {sim::ChipFamily::Kts260, sim::ChipFamily::Kts210,
                                             sim::ChipFamily::Kts260, sim::ChipFamily::Kts210,
                                             sim::ChipFamily::UsbStick, sim::ChipFamily::InternalDisk};
    sim::DeviceConfig d = sim::DefaultDeviceConfig(kFamilies[kind % std::size(kFamilies)]);
    const bool sata = d.family == sim::ChipFamily::Kts210;
    // Versions that are outdated, current, unlisted, or anything.
    const std::uint8_t version = fuzz_.ConsumeIntegral<std::uint8_t>();
    static constexpr std::array<std::uint8_t, 4> kNvme[] = {
        {0, 1, 0, 8}, {234, 1, 0, 1}, {0, 2, 0, 9}, {234, 1, 0, 2}, {0, 2, 0, 0}};
    static constexpr std::array<std::uint8_t, 4> kSata[] = {
        {0, 2, 1, 3}, {0, 2, 1, 4}, {0, 1, 1, 9}, {1, 2, 1, 4}, {0, 2, 0, 9}};
    if (version < 0xF0) {
      d.firmware = (sata ? kSata : kNvme)[version % 5];
    } else {
      for (auto& b : d.firmware) b = fuzz_.ConsumeIntegral<std::uint8_t>();
    }
    const std::uint8_t flags = fuzz_.ConsumeIntegral<std::uint8_t>();
    d.romMode = (flags & 0x01) != 0;
    if (flags & 0x02) d.bus = sim::Bus::Uas;
    if (flags & 0x04) d.bus = sim::Bus::Ieee1394;
    if (flags & 0x08) d.busyMs = fuzz_.ConsumeIntegralInRange<std::uint32_t>(0, 6000);
    if (flags & 0x10) d.inquiry.product = "Volant SSD Dock  ";
    if (flags & 0x20) {
      d.offsetBoundary = fuzz_.ConsumeIntegral<std::uint8_t>();
      d.capacity = fuzz_.ConsumeIntegralInRange<std::uint32_t>(0, 0x90000);
    }
    if (flags & 0x40) {
      // The identification fields of the NVRAM block in any state.
      const auto fields = fuzz_.ConsumeBytes<std::uint8_t>(24);
      std::copy(fields.begin(), fields.end(), d.nvram.begin() + 200);
    }
    if (flags & 0x80) d.identification.inquiryChipId = sata ? "j217" : "j260";
    return d;
  }

  std::optional<std::size_t> DeviceAt(std::string_view path) const {
    const std::string lower = device::LowerCaseAscii(path);
    for (std::size_t i = 0; i < world_->DeviceCount(); ++i) {
      if (world_->PathOf(i) == lower) return i;
    }
    return std::nullopt;
  }

  // ---- every command ----

  device::ScsiOutcome Execute(std::string_view path, const device::ScsiRequest& r) {
    const std::string_view kind = sim::CommandKindName(r.cdb);
    const std::string lower = device::LowerCaseAscii(path);
    const bool writes = r.direction == device::DataDirection::Out || kind == "WriteBuffer" ||
                        kind == "WriteChipMemory" || kind == "Write";
    if (writes) {
      // Nothing reaches a device but the run the user started on the offer the check made, and
      // only the device that was checked.
      FUZZ_REQUIRE(runActive_ && offeredPath_ && lower == *offeredPath_);
    }
    if (writes && kind == "WriteChipMemory" && r.cdb.size() >= 12 && r.cdb[1] == 0x01) {
      nvramWritten_.assign(r.data.begin(), r.data.end());
      nvramWriteOk_ = false;
      nvramReadBackOk_ = false;
    }

    const std::optional<std::size_t> index = DeviceAt(path);
    const std::uint8_t p = fuzz_.remaining_bytes() != 0 ? fuzz_.ConsumeIntegral<std::uint8_t>() : 0;
    device::ScsiOutcome outcome;
    std::vector<std::uint8_t> truth;
    bool forwarded = true;
    if (p >= 0xE0 && p <= 0xE3) {
      forwarded = false;  // CHECK CONDITION
      outcome.opened = outcome.carriedOut = true;
      outcome.scsiStatus = 2;
    } else if (p == 0xE4) {
      forwarded = false;  // the open fails (another opener, a short glitch)
      outcome.platformError = 32;
    } else if (p == 0xE5) {
      forwarded = false;  // the bridge never answers
      outcome.opened = true;
      outcome.platformError = 1460;
      clock_.AdvanceMs(std::uint64_t{r.timeoutSeconds} * 1000);
    } else if (p == 0xE6 && r.direction == device::DataDirection::Out) {
      forwarded = false;  // the write is lost, but reported as done
      outcome.opened = outcome.carriedOut = true;
      outcome.transferred = static_cast<std::uint32_t>(r.data.size());
    } else if (p == 0xED && index) {
      world_->Unplug(*index);  // goes away during the command
      outcome = world_->Port().Execute(path, r);
    } else if (p == 0xEF && index) {
      world_->Replug(*index);  // power loss just before the command
      outcome = world_->Port().Execute(path, r);
    } else {
      if (p >= 0xE8 && p <= 0xEB && r.direction == device::DataDirection::Out && !r.data.empty()) {
        CorruptSome(r.data);  // damaged on the way to the device
      }
      outcome = world_->Port().Execute(path, r);
      truth.assign(r.data.begin(), r.data.end());
      if (r.direction == device::DataDirection::In && !r.data.empty()) {
        if (p == 0xE6) std::fill(r.data.begin(), r.data.end(), std::uint8_t{0});
        if (p >= 0xE8 && p <= 0xEB) CorruptSome(r.data);
        if (p == 0xEC) {
          const auto bytes = fuzz_.ConsumeBytes<std::uint8_t>(r.data.size());
          std::copy(bytes.begin(), bytes.end(), r.data.begin());
        }
      }
      if (p == 0xE7) outcome.transferred = fuzz_.ConsumeIntegral<std::uint32_t>();
      if (p == 0xEE) {
        for (std::uint32_t code : {device::kDbtDeviceRemoveComplete, device::kDbtDevNodesChanged}) {
          view_.PostDeviceChange(code);
        }
      }
    }
    const bool succeeded = outcome.opened && outcome.carriedOut && outcome.platformError == 0 &&
                           outcome.scsiStatus == 0;
    if (succeeded && forwarded && r.direction == device::DataDirection::In) {
      NoteForgery(lower, kind, r, truth);
    }
    if (succeeded && runActive_ && offeredPath_ && lower == *offeredPath_) {
      if (kind == "WriteChipMemory" && r.cdb[1] == 0x01) nvramWriteOk_ = true;
      if (kind == "ReadChipMemory" && nvramWriteOk_ &&
          std::equal(r.data.begin(), r.data.end(), nvramWritten_.begin(), nvramWritten_.end())) {
        nvramReadBackOk_ = true;
      }
    }
    Delivered d{lower, kind, std::vector<std::uint8_t>(r.cdb.begin(), r.cdb.end()), succeeded, {}};
    if (r.direction == device::DataDirection::In) {
      d.data.assign(r.data.begin(), r.data.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(r.data.size(), 40)));
    }
    delivered_.push_back(std::move(d));
    return outcome;
  }

  void CorruptSome(std::span<std::uint8_t> bytes) {
    const std::size_t at = fuzz_.ConsumeIntegralInRange<std::size_t>(0, bytes.size() - 1);
    bytes[at] ^= std::max<std::uint8_t>(1, fuzz_.ConsumeIntegral<std::uint8_t>());
  }

  // A read-back that shows the tool the bytes it expects where the device holds others is a device
  // that lies in the tool's favour: no updater can see through it, so it excuses the result.
  void NoteForgery(const std::string& path, std::string_view kind, const device::ScsiRequest& r,
                   const std::vector<std::uint8_t>& truth) {
    if (!runActive_ || !offeredPath_ || path != *offeredPath_ || truth.size() != r.data.size()) return;
    // Only an answer that differs from what the device holds can be forged.
    if (std::memcmp(truth.data(), r.data.data(), truth.size()) == 0) return;
    if (kind == "ReadBuffer" && (r.cdb[1] & 0x1F) == 0x01 && r.cdb[2] == 0) {
      const firmware::ChipProfile* chip = firmware::FindChipProfile(offeredChip_);
      if (chip == nullptr) return;
      const auto image = firmware::FindCarriedImage(chip->firmwareType, chip->firmwareName);
      const std::uint32_t offset = Be24(r.cdb, 3);
      for (std::size_t i = 0; i < r.data.size(); ++i) {
        const std::size_t at = offset + i;
        if (at >= chip->firmwareArea || at >= image.size() || (at >= 0x200 && at < 0x400)) continue;
        if (r.data[i] == image[at] && truth[i] != image[at]) forgedFlash_ = true;
      }
    }
    if (kind == "ReadChipMemory" && !nvramWritten_.empty()) {
      for (std::size_t i = 0; i < r.data.size() && i < nvramWritten_.size(); ++i) {
        if (r.data[i] == nvramWritten_[i] && truth[i] != nvramWritten_[i]) forgedNvram_ = true;
      }
    }
  }

  // ---- what the window shows ----

  void OnCall(const std::string& call) {
    if (call == "Status " + std::string(app::kStatusLooking)) {
      // A rescan never runs inside another operation's message processing.
      FUZZ_REQUIRE(view_.depth == 0);
    }
    if (call == "Status " + std::string(app::kStatusChecking)) {
      FUZZ_REQUIRE(view_.depth == 0);
      checkMark_ = delivered_.size();
    }
    if (call == "Status " + std::string(app::kStatusUpdating)) {
      // A run starts only from the user's click on an offer, never nested in another operation.
      FUZZ_REQUIRE(view_.depth == 0 && clickedOffer_ && offeredPath_);
      FUZZ_REQUIRE(!runActive_);
      runActive_ = true;
      ++runs_;
      forgedFlash_ = forgedNvram_ = false;
      nvramWritten_.clear();
      nvramWriteOk_ = nvramReadBackOk_ = false;
    }
    if (call == "Status " + std::string(app::kStatusUpdateComplete)) OnRunEnd(true);
    if (call == "Status " + std::string(app::kStatusUpdateFail)) OnRunEnd(false);
  }

  void OnRunEnd(bool complete) {
    FUZZ_REQUIRE(runActive_);
    runActive_ = false;
    const app::UpdateRunResult& run = form_.LastRun();
    FUZZ_REQUIRE(run.outcome == (complete ? app::RunOutcome::Complete : app::RunOutcome::Fail));
    if (!complete) return;
    // "Update complete": the checked device, the checked chip, its flash holding the carried
    // firmware area and its NVRAM written and read back equal.
    FUZZ_REQUIRE(run.path == *offeredPath_ && run.chipCode == offeredChip_);
    const firmware::ChipProfile* chip = firmware::FindChipProfile(offeredChip_);
    FUZZ_REQUIRE(chip != nullptr);
    const auto index = DeviceAt(run.path);
    FUZZ_REQUIRE(index.has_value());
    const sim::SimBridge& bridge = world_->Bridge(*index);
    const auto image = firmware::FindCarriedImage(chip->firmwareType, chip->firmwareName);
    const auto flash = bridge.Flash();
    FUZZ_REQUIRE(image.size() >= chip->firmwareArea && flash.size() >= chip->firmwareArea);
    if (!forgedFlash_) {
      // 0x200-0x3FF is rewritten by the bridge itself and never verified.
      FUZZ_REQUIRE(std::memcmp(flash.data(), image.data(), 0x200) == 0);
      FUZZ_REQUIRE(std::memcmp(flash.data() + 0x400, image.data() + 0x400, chip->firmwareArea - 0x400) == 0);
    }
    FUZZ_REQUIRE(nvramWritten_.size() == 512 && nvramWriteOk_ && nvramReadBackOk_);
    if (!forgedNvram_) {
      const auto nvram = bridge.Nvram();
      FUZZ_REQUIRE(std::equal(nvram.begin(), nvram.end(), nvramWritten_.begin(), nvramWritten_.end()));
    }
  }

  // Inside an operation's message processing: what a user and the system may do meanwhile.
  void InsideProcessing() {
    if (fuzz_.remaining_bytes() == 0) return;
    const std::uint8_t a = fuzz_.ConsumeIntegral<std::uint8_t>();
    switch (a) {
      case 0xF0: form_.lblStaustClick(); break;  // must do nothing: an operation is running
      case 0xF1: view_.PostDeviceChange(device::kDbtDeviceRemoveComplete); break;
      case 0xF2: view_.PostDeviceChange(device::kDbtDevNodesChanged); break;
      case 0xF3: clock_.AdvanceMs(600); break;  // the rescan timer comes due in this processing
      case 0xF4: UnplugOrReplug(); break;
      default: break;
    }
  }

  void UnplugOrReplug() {
    const std::size_t i = fuzz_.ConsumeIntegralInRange<std::size_t>(0, world_->DeviceCount() - 1);
    if (world_->IsPlugged(i)) world_->Unplug(i);
    else world_->Replug(i);
  }

  void TopLevelAction() {
    const std::uint8_t a = fuzz_.ConsumeIntegral<std::uint8_t>();
    switch (kind_ == FlowKind::Run ? a % 6 : 1 + a % 5) {
      case 0: Click(); break;
      case 1: view_.IdleFor(fuzz_.ConsumeIntegralInRange<std::uint64_t>(0, 2000)); break;
      case 2: {
        constexpr std::uint32_t kCodes[] = {device::kDbtDevNodesChanged, device::kDbtDeviceArrival,
                                            device::kDbtDeviceRemoveComplete};
        view_.PostDeviceChange(kCodes[fuzz_.ConsumeIntegralInRange<std::size_t>(0, 2)]);
        view_.Pump();
        break;
      }
      case 3: UnplugOrReplug(); break;
      case 4: {
        const std::size_t i = fuzz_.ConsumeIntegralInRange<std::size_t>(0, world_->DeviceCount() - 1);
        world_->SetHeldByOther(i, fuzz_.ConsumeBool());
        break;
      }
      default: view_.IdleFor(600); break;
    }
  }

  // The user clicks the status line, whatever it shows.
  void Click() {
    const bool offer = view_.statusEnabled && IsOfferText(view_.status);
    clickedOffer_ = offer && form_.LastCheck().kind == app::CheckResultKind::UpdateOffered;
    offeredPath_.reset();
    if (clickedOffer_) {
      offeredPath_ = form_.LastCheck().path;
      offeredChip_ = form_.LastCheck().chipCode;
    }
    const int runsBefore = runs_;
    form_.lblStaustClick();
    FUZZ_REQUIRE(!runActive_);
    // A click on anything but an enabled offer starts nothing.
    if (!clickedOffer_) FUZZ_REQUIRE(runs_ == runsBefore);
    clickedOffer_ = false;
  }

  static bool IsOfferText(std::string_view text) {
    for (const firmware::ChipProfile* chip : firmware::kChipProfiles) {
      if (text == chip->offerText) return true;
    }
    return false;
  }

  // After every action of the user or the system, with the window idle again.
  void AfterTopLevel() {
    FUZZ_REQUIRE(form_.UpdateInProgress == 0);
    FUZZ_REQUIRE(!form_.Busy());
    FUZZ_REQUIRE(!runActive_);
    FUZZ_REQUIRE(view_.depth == 0);
    // The status line takes clicks only while it offers an update.
    if (view_.statusEnabled) FUZZ_REQUIRE(IsOfferText(view_.status));
    if (view_.statusEnabled || view_.status == app::kStatusCurrent) CheckVerdictHonest();
  }

  // An offer, or "up to date", only after every read of the check passed on the checked device,
  // and judged on the version bytes that device gave.
  void CheckVerdictHonest() {
    const app::UpdateCheckResult& check = form_.LastCheck();
    const bool offered = view_.statusEnabled;
    FUZZ_REQUIRE(check.kind == (offered ? app::CheckResultKind::UpdateOffered : app::CheckResultKind::Current));
    const firmware::ChipProfile* chip = firmware::FindChipProfile(check.chipCode);
    FUZZ_REQUIRE(chip != nullptr);
    if (offered) FUZZ_REQUIRE(view_.status == chip->offerText);
    FUZZ_REQUIRE(checkMark_ <= delivered_.size());
    const auto last = [&](std::string_view kind, std::size_t from, std::size_t to) -> const Delivered* {
      const Delivered* found = nullptr;
      for (std::size_t i = from; i < to; ++i) {
        if (delivered_[i].path == check.path && delivered_[i].kind == kind) found = &delivered_[i];
      }
      return found;
    };
    const Delivered* flashType = last("ReadFlashType", 0, checkMark_);
    FUZZ_REQUIRE(flashType != nullptr && flashType->succeeded);
    const Delivered* info = last("ReadChipInfo", checkMark_, delivered_.size());
    FUZZ_REQUIRE(info != nullptr && info->succeeded && info->data.size() == 16);
    FUZZ_REQUIRE(info->data[0] == 0xF4 && info->data[1] == 0xE7);
    if (!chip->updatableFromBootRom) FUZZ_REQUIRE(info->data[6] != 0);
    const Delivered* nvram = last("ReadChipMemory", checkMark_, delivered_.size());
    FUZZ_REQUIRE(nvram != nullptr && nvram->succeeded && Be24(nvram->cdb, 8) == chip->nvramAddress &&
                 Be24(nvram->cdb, 2) == 512);
    const Delivered* inquiry = last("ScsiInquiry", checkMark_, delivered_.size());
    FUZZ_REQUIRE(inquiry != nullptr && inquiry->succeeded && inquiry->data.size() == 40);
    std::string identification;
    for (std::size_t i = 8; i < 32 && inquiry->data[i] != 0; ++i) {
      const char c = static_cast<char>(inquiry->data[i]);
      identification.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    }
    FUZZ_REQUIRE(identification.find("VOLANT") == std::string::npos);
    std::array<std::uint8_t, 16> block{};
    std::copy(info->data.begin(), info->data.end(), block.begin());
    const auto verdict = chip->decideVersion(device::ParseChipInfo(block));
    FUZZ_REQUIRE(verdict == (offered ? firmware::VersionVerdict::UpdateOffered : firmware::VersionVerdict::Current));
  }

  FuzzedDataProvider fuzz_;
  FlowKind kind_;
  // An input may make every command wait out its time-out (up to 100 s each), so the clock gets
  // room for a long input's worth of them; runaway timers are caught by the view's scan bound.
  test_support::BoundedClock clock_{30ull * 24 * 60 * 60 * 1000};
  sim::SimHost host_{clock_};
  std::unique_ptr<sim::SimWorld> world_;
  Port port_{*this};
  DepthView view_{clock_};
  app::TForm1 form_{view_};

  std::vector<Delivered> delivered_;
  std::size_t checkMark_ = 0;
  bool clickedOffer_ = false;
  std::optional<std::string> offeredPath_;
  std::uint8_t offeredChip_ = 0;
  bool runActive_ = false;
  int runs_ = 0;
  bool forgedFlash_ = false;
  bool forgedNvram_ = false;
  std::vector<std::uint8_t> nvramWritten_;
  bool nvramWriteOk_ = false;
  bool nvramReadBackOk_ = false;
};

}  // namespace corvane::fuzz
