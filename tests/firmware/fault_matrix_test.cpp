// A full update (flash, then NVRAM) with one fault injected at every command index in turn, and
// the whole journey through the window with one fault at every command index of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <tuple>

#include "device/bridge_commands.h"
#include "firmware/carried_images.h"
#include "firmware/flash_programming.h"
#include "firmware/nvram_rewrite.h"
#include "app/form_texts.h"
#include "tests/app/form_fixture.h"
#include "tests/firmware/firmware_test_support.h"

namespace corvane::firmware::testing {
namespace {

using namespace ::corvane::device;

using sim::ChipFamily;
using sim::FaultEffect;

bool FullUpdate(SimRig& rig, ChipFamily family) {
  RecordingForm form(ChipCodeOf(family));
  const std::uint32_t nvram = FindChipProfile(ChipCodeOf(family))->nvramAddress;
  return UpdateFirmware(form, rig.Path()) && RewriteNvramVendorStrings(form, rig.Path(), nvram);
}

// What a successful update leaves behind: the carried firmware area running, and the brand.
bool BridgeIsUpdated(SimRig& rig, ChipFamily family) {
  const ChipProfile* row = FindChipProfile(ChipCodeOf(family));
  const auto area = FindCarriedImage("FW", row->firmwareName).first(row->firmwareArea);
  const auto flash = rig.Bridge().Flash();
  return !rig.Bridge().RomMode() && std::equal(area.begin(), area.end(), flash.begin()) &&
         std::memcmp(rig.Bridge().Nvram().data() + 200, "Corvane ", 8) == 0;
}

struct MatrixCase {
  ChipFamily family;
  bool romMode;
};

TEST(FirmwareFaultMatrix, NeverReportsSuccessForABridgeLeftBehind) {
  const MatrixCase cases[] = {{ChipFamily::Kts260, false}, {ChipFamily::Kts260, true},
                              {ChipFamily::Kts210, false}, {ChipFamily::Kts210, true}};
  const FaultEffect effects[] = {FaultEffect::CheckCondition, FaultEffect::Unplug,
                                 FaultEffect::Timeout};
  int runs = 0, failedAsExpected = 0, recovered = 0, nvmeNotRecovered = 0;
  for (const MatrixCase& c : cases) {
    SimRig clean(Bridge(c.family, c.romMode));
    const bool cleanResult = FullUpdate(clean, c.family);
    // A KTS210 in boot-ROM mode cannot be updated: no manufacturing image is carried for it.
    ASSERT_EQ(cleanResult, !(c.romMode && c.family == ChipFamily::Kts210));
    const std::size_t commands = clean.Trace().size();
    for (std::size_t k = 0; k < commands; ++k) {
      for (FaultEffect effect : effects) {
        SCOPED_TRACE(::testing::Message() << (c.family == ChipFamily::Kts260 ? "KTS260" : "KTS210")
                                        << (c.romMode ? " rom" : "") << " fault after " << k
                                        << " effect " << static_cast<int>(effect));
        sim::Fault fault{"", 0, static_cast<std::uint32_t>(k), effect};
        if (k == 0) fault = {"ReadChipInfo", 1, 0, effect};  // afterCommands counts from 1
        SimRig rig(Bridge(c.family, c.romMode, {fault}));
        ++runs;
        const bool ok = FullUpdate(rig, c.family);
        if (ok) {
          EXPECT_TRUE(BridgeIsUpdated(rig, c.family));
          continue;
        }
        ++failedAsExpected;
        // The user re-plugs the adaptor and tries again; the fault has been spent.
        rig.world.Replug(0);
        if (c.family != ChipFamily::Kts260) continue;
        if (FullUpdate(rig, c.family) && BridgeIsUpdated(rig, c.family)) {
          ++recovered;
        } else {
          ++nvmeNotRecovered;
          ADD_FAILURE() << "the NVMe bridge could not be updated again";
        }
      }
    }
  }
  std::cout << "fault matrix: " << runs << " runs, " << failedAsExpected
            << " failed as expected, " << recovered << " NVMe bridges updated again, "
            << nvmeNotRecovered << " not\n";
  EXPECT_GT(failedAsExpected, 0);
}

}  // namespace
}  // namespace corvane::firmware::testing

// ---------------------------------------------------------------------------------------------
// The whole journey a user makes, through the window on a recording view: start-up scan and check,
// the click on the offer, the update run, re-plugging the adaptor and the rescan, and a later run
// when the first one failed. One fault is injected at one command index of that journey, for each
// chip, mode, bus and fault kind. CORVANE_FAULT_MATRIX=full takes every index (docs/fault-matrix.md);
// the default takes every seventh, shifted per fault kind so that together they cover more.

namespace corvane::app::testing {
namespace {

using sim::Bus;
using sim::ChipFamily;

enum class FaultKind {
  None,
  CheckCondition,  // the command fails with CHECK CONDITION
  Timeout,         // the bridge never answers; the host waits for the command's time-out
  Unplug,          // the adaptor goes away during the command
  Bounce,          // ... and comes back at once (a bus reset): its events reach the window mid-way
  LostWrite,       // a data-out command reports success but never reaches the bridge
  CorruptOnce,     // the first byte of one answer arrives flipped
  CorruptAlways,   // ... and of every later answer to the same block, until the re-plug
  StuckBusy,       // from this command on the bridge reports busy, until the re-plug
};
constexpr FaultKind kFaultKinds[] = {
    FaultKind::CheckCondition, FaultKind::Timeout,     FaultKind::Unplug,
    FaultKind::Bounce,         FaultKind::LostWrite,   FaultKind::CorruptOnce,
    FaultKind::CorruptAlways,  FaultKind::StuckBusy};

const char* FaultName(FaultKind kind) {
  switch (kind) {
    case FaultKind::None: return "none";
    case FaultKind::CheckCondition: return "check-condition";
    case FaultKind::Timeout: return "time-out";
    case FaultKind::Unplug: return "unplug";
    case FaultKind::Bounce: return "bounce";
    case FaultKind::LostWrite: return "lost-write";
    case FaultKind::CorruptOnce: return "corrupt-once";
    case FaultKind::CorruptAlways: return "corrupt-always";
    case FaultKind::StuckBusy: return "stuck-busy";
  }
  return "?";
}

bool IsWrite(std::span<const std::uint8_t> cdb) {
  return cdb[0] == 0x3B || (cdb.size() == 12 && cdb[0] == 0xDF && cdb[11] == 0xFB);
}
bool IsNvramWrite(std::span<const std::uint8_t> cdb) {
  return cdb.size() == 12 && cdb[0] == 0xDF && cdb[1] == 0x01 && cdb[11] == 0xFB;
}
bool IsBridgeStatus(std::span<const std::uint8_t> cdb) {
  return cdb[0] == 0xFF && cdb[1] == 0x04 && cdb[2] == 0x12;
}

// Counts every command of the journey and injects the one fault at its index. Every write the
// tool sends is shown to `onWrite` first.
class FaultPort : public ScsiPort {
 public:
  FaultPort(sim::SimWorld& world, sim::VirtualClock& clock) : world_(world), clock_(clock) {}

  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    const std::size_t index = commands++;
    const std::span<const std::uint8_t> cdb(request.cdb.data(), request.cdb.size());
    if (record) {
      blocks.emplace_back(std::vector<std::uint8_t>(cdb.begin(), cdb.end()), request.direction,
                          request.data.size());
    }
    if (IsWrite(cdb) && onWrite) onWrite(path, cdb, request.data);
    const bool hit = kind != FaultKind::None && index == at;
    if (hit) fired = true;
    if (hit && kind == FaultKind::CheckCondition) return Refused();
    if (hit && kind == FaultKind::Timeout) {
      clock_.AdvanceMs(std::uint64_t{request.timeoutSeconds} * 1000);
      ScsiOutcome lost;
      lost.opened = true;
      lost.platformError = 1460;
      return lost;
    }
    if (hit && (kind == FaultKind::Unplug || kind == FaultKind::Bounce)) {
      world_.Unplug(0);
      if (kind == FaultKind::Bounce) world_.Replug(0);
      ScsiOutcome gone;
      gone.opened = true;
      gone.platformError = 1167;
      return gone;
    }
    if (hit && kind == FaultKind::LostWrite) {
      ScsiOutcome ok;
      ok.opened = ok.carriedOut = true;
      ok.transferred = static_cast<std::uint32_t>(request.data.size());
      return ok;
    }
    ScsiOutcome outcome = world_.Port().Execute(path, request);
    if (hit && kind == FaultKind::CorruptAlways) stuckBlock_.assign(cdb.begin(), cdb.end());
    const bool corrupt = (hit && kind == FaultKind::CorruptOnce) ||
                         (!stuckBlock_.empty() && std::equal(cdb.begin(), cdb.end(),
                                                             stuckBlock_.begin(), stuckBlock_.end()));
    if (corrupt && !request.data.empty()) request.data[0] ^= 0xFF;
    if (hit && kind == FaultKind::StuckBusy) stuckBusy_ = true;
    if (stuckBusy_ && IsBridgeStatus(cdb) && !request.data.empty()) request.data[0] |= 0x01;
    return outcome;
  }
  bool IsSimulated() const override { return true; }

  // A re-plug resets the bridge: a lasting fault ends with it.
  void Heal() {
    stuckBlock_.clear();
    stuckBusy_ = false;
  }
  // Whether this kind of fault can do anything at this command.
  static bool Applies(FaultKind kind, std::span<const std::uint8_t> cdb, device::DataDirection dir,
                      std::size_t length) {
    if (kind == FaultKind::LostWrite) return IsWrite(cdb);
    if (kind == FaultKind::CorruptOnce || kind == FaultKind::CorruptAlways) {
      return dir == device::DataDirection::In && length > 0;
    }
    return true;
  }

  FaultKind kind = FaultKind::None;
  std::size_t at = 0;
  std::size_t commands = 0;
  bool fired = false;
  bool record = false;
  std::vector<std::tuple<std::vector<std::uint8_t>, device::DataDirection, std::size_t>> blocks;
  std::function<void(std::string_view, std::span<const std::uint8_t>, std::span<const std::uint8_t>)>
      onWrite;

 private:
  static ScsiOutcome Refused() {
    ScsiOutcome failed;
    failed.opened = failed.carriedOut = true;
    failed.scsiStatus = 2;
    return failed;
  }
  sim::SimWorld& world_;
  sim::VirtualClock& clock_;
  std::vector<std::uint8_t> stuckBlock_;
  bool stuckBusy_ = false;
};

// Tells whether the window lets messages through right now: a scan that starts there is nested
// inside another operation.
class JourneyView : public RecordingView {
 public:
  using RecordingView::RecordingView;
  void ProcessPendingMessages() override {
    ++depth;
    RecordingView::ProcessPendingMessages();
    --depth;
  }
  int depth = 0;
};

struct Combo {
  ChipFamily family;
  bool romMode;
  Bus bus;
};

std::string ComboName(const Combo& c) {
  std::string name = c.family == ChipFamily::Kts260 ? "KTS260" : "KTS210";
  name += c.romMode ? " boot-ROM" : " firmware";
  name += c.bus == Bus::Usb ? " usb" : c.bus == Bus::Uas ? " uas" : " 1394";
  return name;
}

// What one journey came to, for the table.
enum class Outcome { Complete, Recovered, SataLeftInBootRom, NeverOffered, Other };
constexpr int kOutcomeCount = 5;
const char* OutcomeName(Outcome o) {
  switch (o) {
    case Outcome::Complete: return "complete";
    case Outcome::Recovered: return "recovered";
    case Outcome::SataLeftInBootRom: return "sata-boot-rom";
    case Outcome::NeverOffered: return "never-offered";
    case Outcome::Other: return "other";
  }
  return "?";
}

struct JourneyResult {
  std::size_t commands = 0;
  // The command blocks in order, with direction and length, to know where each fault applies.
  std::vector<std::tuple<std::vector<std::uint8_t>, device::DataDirection, std::size_t>> blocks;
  Outcome outcome = Outcome::Other;
  std::vector<std::string> breaches;
};

class Journey {
 public:
  Journey(const Combo& combo, FaultKind kind, std::size_t at) : combo_(combo) {
    const std::array<std::uint8_t, 4> outdated =
        combo.family == ChipFamily::Kts260 ? std::array<std::uint8_t, 4>{0, 1, 0, 8}
                                           : std::array<std::uint8_t, 4>{0, 2, 1, 3};
    world_ = std::make_unique<sim::SimWorld>(
        sim::ScenarioOf({Adaptor(combo.family, outdated, combo.romMode, "CV-E2510 Dock", combo.bus)}),
        clock_);
    port_ = std::make_unique<FaultPort>(*world_, clock_);
    port_->kind = kind;
    port_->at = at;
    Platform platform = world_->MakePlatform(host_);
    platform.port = port_.get();
    platform_.emplace(platform);
    view_.Attach(form_);
    view_.msPerProcess = 50;  // time passes while an operation lets messages through
    world_->SetPlugListener([this](std::size_t, bool plugged) {
      for (std::uint32_t code : sim::PlugEventCodes(plugged)) view_.PostDeviceChange(code);
    });
    view_.onCall = [this](const std::string& call) { Watch(call); };
    port_->onWrite = [this](std::string_view path, std::span<const std::uint8_t> cdb,
                            std::span<const std::uint8_t> data) { WatchWrite(path, cdb, data); };
  }
  ~Journey() { world_->SetPlugListener({}); }

  JourneyResult Run(bool recordBlocks) {
    port_->record = recordBlocks;
    form_.Start();
    form_.FormCreate();
    view_.IdleFor(1000);
    bool offeredOnce = false;
    ClickIfOffered(offeredOnce);
    // The user re-plugs the adaptor (up to three times) until the window says it is up to date.
    for (int round = 0; round < 3 && view_.status != kStatusCurrent; ++round) {
      port_->Heal();
      const bool completed = view_.status == kStatusUpdateComplete;
      world_->Replug(0);
      // What "Update complete" promised must survive the power cycle.
      if (completed && world_->Bridge(0).RomMode()) {
        Breach("Update complete, but the bridge starts its boot ROM after a re-plug");
      }
      view_.IdleFor(1500);
      ClickIfOffered(offeredOnce);
    }
    CheckEnd(offeredOnce);
    if (port_->kind != FaultKind::None && !port_->fired) Breach("the fault was never reached");
    result_.commands = port_->commands;
    result_.blocks = std::move(port_->blocks);
    return std::move(result_);
  }

 private:
  void ClickIfOffered(bool& offeredOnce) {
    if (!form_.StatusEnabled()) return;
    offeredOnce = true;
    ++runs_;
    form_.lblStaustClick();
    if (form_.UpdateInProgress != 0) Breach("UpdateInProgress is not 0 after the run");
    view_.IdleFor(1000);
  }

  const firmware::ChipProfile& Profile() const {
    return *firmware::FindChipProfile(combo_.family == ChipFamily::Kts260 ? 0x16 : 0x13);
  }

  bool FlashHoldsCarriedArea() {
    const firmware::ChipProfile& chip = Profile();
    const auto area =
        firmware::FindCarriedImage(chip.firmwareType, chip.firmwareName).first(chip.firmwareArea);
    const auto flash = world_->Bridge(0).Flash();
    return !area.empty() && std::equal(area.begin(), area.end(), flash.begin());
  }

  void Breach(const std::string& what) { result_.breaches.push_back(what); }

  void Watch(const std::string& call) {
    if (call.rfind("Status ", 0) != 0) return;
    const std::string_view status = std::string_view(call).substr(7);
    if (status == kStatusLooking) {
      if (view_.depth > 0) Breach("a rescan started inside another operation");
      if (inRun_) Breach("a rescan started during the update run");
    } else if (status == kStatusUpdating) {
      inRun_ = true;
      runStartWrites_ = nvramWrites_;
      runOffered_ = form_.LastCheck().kind == CheckResultKind::UpdateOffered;
      runPath_ = form_.LastCheck().path;
    } else if (status == kStatusUpdateComplete) {
      inRun_ = false;
      ++completes_;
      if (!FlashHoldsCarriedArea()) Breach("Update complete, but the flash does not hold the carried area");
      if (nvramWrites_ == runStartWrites_) Breach("Update complete without an NVRAM write in this run");
      const auto nvram = world_->Bridge(0).Nvram();
      if (!std::equal(nvram.begin(), nvram.end(), lastNvramWrite_.begin(), lastNvramWrite_.end())) {
        Breach("Update complete, but the NVRAM does not hold the block that was written");
      }
      if (std::memcmp(nvram.data() + 200, "Corvane", 7) != 0) {
        Breach("Update complete, but the NVRAM does not carry the brand");
      }
    } else if (status == kStatusUpdateFail) {
      inRun_ = false;
      ++fails_;
    }
  }

  void WatchWrite(std::string_view path, std::span<const std::uint8_t> cdb,
                  std::span<const std::uint8_t> data) {
    if (!inRun_ || !runOffered_ || path != runPath_) {
      Breach("a write reached a device that the check did not offer");
    }
    if (IsNvramWrite(cdb)) {
      ++nvramWrites_;
      lastNvramWrite_.assign(data.begin(), data.end());
    }
  }

  void CheckEnd(bool offeredOnce) {
    if (form_.UpdateInProgress != 0) Breach("UpdateInProgress is not 0 at the end");
    if (form_.Busy()) Breach("the window is still busy at the end");
    if (!view_.timers.empty()) Breach("a timer is still armed at the end");
    const std::string& status = view_.status;
    const bool offer = status == Profile().offerText;
    const bool settled = status == kStatusCurrent || status == kStatusNoDevice ||
                         status == kStatusUpdateComplete || status == kStatusUpdateFail || offer;
    if (!settled) Breach("the window ends on \"" + status + "\"");
    if (form_.StatusEnabled() != offer || view_.statusEnabled != offer) {
      Breach("the status label's state does not match its text");
    }
    if (!view_.visibility[ControlId::Image3] || view_.visibility[ControlId::Image2] ||
        view_.visibility[ControlId::UpdateProgressBar]) {
      Breach("the window does not end on its result picture");
    }

    sim::SimBridge& bridge = world_->Bridge(0);
    const bool updated = FlashHoldsCarriedArea() && !bridge.RomMode() &&
                         bridge.FirmwareVersion() == Profile().carriedVersion;
    if (status == kStatusCurrent && !updated) Breach("up to date shown for a bridge left behind");
    if (combo_.family == ChipFamily::Kts210 && combo_.romMode) {
      if (offeredOnce || nvramWrites_ > 0) Breach("a SATA bridge in its boot ROM was offered");
      result_.outcome = Outcome::NeverOffered;
      return;
    }
    if (updated && status == kStatusCurrent) {
      result_.outcome = runs_ == 1 && fails_ == 0 ? Outcome::Complete : Outcome::Recovered;
      return;
    }
    if (combo_.family == ChipFamily::Kts210 && bridge.RomMode() && status == kStatusNoDevice) {
      result_.outcome = Outcome::SataLeftInBootRom;
      return;
    }
    // An interrupted NVMe bridge can always be updated by a later run; a SATA bridge that still
    // runs a firmware too.
    Breach("the bridge was not updated by a later run (window: \"" + status + "\")");
  }

  Combo combo_;
  test_support::BoundedClock clock_;
  sim::SimHost host_{clock_};
  std::unique_ptr<sim::SimWorld> world_;
  std::unique_ptr<FaultPort> port_;
  std::optional<ScopedPlatform> platform_;
  JourneyView view_{clock_};
  TForm1 form_{view_};
  JourneyResult result_;
  bool inRun_ = false;
  bool runOffered_ = false;
  std::string runPath_;
  int runs_ = 0, completes_ = 0, fails_ = 0;
  int nvramWrites_ = 0, runStartWrites_ = 0;
  std::vector<std::uint8_t> lastNvramWrite_;
};

// One line of the table: the adaptor, the fault, then right-aligned counts.
template <typename... Counts>
std::string TableLine(const std::string& adaptor, const std::string& fault, const Counts&... counts) {
  std::ostringstream line;
  line << std::left << std::setw(22) << adaptor << ' ' << std::setw(16) << fault << std::right;
  ((line << ' ' << std::setw(13) << counts), ...);
  line << '\n';
  return line.str();
}

// Every how-many-th command index a fault is injected at: 7 by default, every one with
// CORVANE_FAULT_MATRIX=full, or the number CORVANE_FAULT_MATRIX gives.
std::size_t MatrixStride() {
  const char* setting = std::getenv("CORVANE_FAULT_MATRIX");
  if (setting == nullptr || *setting == '\0') return 7;
  if (std::string_view(setting) == "full") return 1;
  const long stride = std::strtol(setting, nullptr, 10);
  return stride > 0 ? static_cast<std::size_t>(stride) : 7;
}

TEST(JourneyFaultMatrix, EveryFaultAtEveryCommandLeavesAnHonestWindowAndARecoverableBridge) {
  const std::size_t stride = MatrixStride();
  const auto started = std::chrono::steady_clock::now();
  std::ostringstream table;
  table << "Fault matrix, whole journey (scan, check, update, re-plug, rescan, later run); a fault at "
        << (stride == 1 ? std::string("every command index")
                        : "every " + std::to_string(stride) + "th command index")
        << "\n";
  table << TableLine("adaptor", "fault", "scenarios", OutcomeName(Outcome::Complete),
                     OutcomeName(Outcome::Recovered), OutcomeName(Outcome::SataLeftInBootRom),
                     OutcomeName(Outcome::NeverOffered), OutcomeName(Outcome::Other), "breaches");

  std::size_t scenarios = 0, breaches = 0;
  std::array<std::size_t, kOutcomeCount> totals{};
  std::map<std::string, std::size_t> breachKinds;
  std::vector<std::string> firstBreaches;
  for (ChipFamily family : {ChipFamily::Kts210, ChipFamily::Kts260}) {
    for (bool romMode : {false, true}) {
      for (Bus bus : {Bus::Usb, Bus::Uas, Bus::Ieee1394}) {
        const Combo combo{family, romMode, bus};
        JourneyResult clean = Journey(combo, FaultKind::None, 0).Run(/*recordBlocks=*/true);
        EXPECT_TRUE(clean.breaches.empty()) << ComboName(combo) << ": " << clean.breaches.front();
        EXPECT_EQ(clean.outcome, romMode && family == ChipFamily::Kts210 ? Outcome::NeverOffered
                                                                          : Outcome::Complete)
            << ComboName(combo);
        for (std::size_t kindIndex = 0; kindIndex < std::size(kFaultKinds); ++kindIndex) {
          const FaultKind kind = kFaultKinds[kindIndex];
          std::array<std::size_t, kOutcomeCount> counts{};
          std::size_t rowScenarios = 0, rowBreaches = 0;
          for (std::size_t at = kindIndex % stride; at < clean.commands; at += stride) {
            const auto& [cdb, direction, length] = clean.blocks[at];
            if (!FaultPort::Applies(kind, cdb, direction, length)) continue;
            JourneyResult r = Journey(combo, kind, at).Run(false);
            ++rowScenarios;
            ++counts[static_cast<std::size_t>(r.outcome)];
            if (r.outcome == Outcome::Other && r.breaches.empty()) r.breaches.push_back("unclassified");
            if (r.breaches.empty()) continue;
            ++rowBreaches;
            for (const std::string& b : r.breaches) ++breachKinds[b];
            if (firstBreaches.size() < 20) {
              firstBreaches.push_back(ComboName(combo) + ", " + FaultName(kind) + " at command " +
                                      std::to_string(at) + ": " + r.breaches.front());
            }
          }
          table << TableLine(ComboName(combo), FaultName(kind), rowScenarios, counts[0],
                             counts[1], counts[2], counts[3], counts[4], rowBreaches);
          scenarios += rowScenarios;
          breaches += rowBreaches;
          for (int i = 0; i < kOutcomeCount; ++i) totals[static_cast<std::size_t>(i)] += counts[static_cast<std::size_t>(i)];
        }
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  table << TableLine("total", "", scenarios, totals[0], totals[1], totals[2], totals[3], totals[4],
                     breaches);
  for (const auto& [what, count] : breachKinds) table << "breach x" << count << ": " << what << "\n";
  for (const std::string& b : firstBreaches) table << "  " << b << "\n";
  table << scenarios << " scenarios in " << std::fixed << std::setprecision(1) << seconds << " s\n";

  std::cout << table.str();
  if (const char* file = std::getenv("CORVANE_FAULT_MATRIX_TABLE")) std::ofstream(file) << table.str();
  EXPECT_EQ(breaches, 0u) << table.str();
}

}  // namespace
}  // namespace corvane::app::testing
