// A TForm1 on the simulator's virtual adaptors with a recording view, on virtual time.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form.h"
#include "firmware/carried_images.h"
#include "device/chip_identification.h"
#include "device/device_events.h"
#include "device/platform.h"
#include "sim/scenario.h"
#include "sim/sim.h"
#include "tests/app/recording_view.h"
#include "tests/support/bounded_clock.h"

namespace corvane::app::testing {

using namespace ::corvane::device;

inline std::string Pad(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

// One virtual adaptor with the given INQUIRY identification.
inline sim::DeviceConfig Adaptor(sim::ChipFamily family, std::array<std::uint8_t, 4> firmware,
                                 bool romMode = false, std::string product = "CV-E2510 Dock",
                                 sim::Bus bus = sim::Bus::Usb) {
  sim::DeviceConfig config = sim::DefaultDeviceConfig(family);
  config.firmware = firmware;
  config.romMode = romMode;
  config.bus = bus;
  config.inquiry.vendor = Pad("Corvane", 8);
  config.inquiry.product = Pad(std::move(product), 16);
  return config;
}

// A device that passes discovery (it answers the identification word) but whose chip cannot be
// identified: its chip information reads are rejected.
inline sim::DeviceConfig UnidentifiedBridge() {
  sim::DeviceConfig config = sim::DefaultDeviceConfig(sim::ChipFamily::Kts260);
  config.identification.inquiryChipId.clear();
  config.identification.chipIdWord = std::array<std::uint8_t, 2>{0x00, 0x00};
  config.identification.chipInfo.reset();
  config.identification.chipInfoAlt.reset();
  config.identification.legacyId.reset();
  config.inquiry.vendor = Pad("Generic", 8);
  config.inquiry.product = Pad("Mass Storage", 16);
  return config;
}

// Passes commands to the world's port; when armed, the first command that `matches` is failed
// (CHECK CONDITION) or has its first data byte flipped, and every open can be refused for lack
// of rights.
class InterposedPort : public ScsiPort {
 public:
  enum class Action { Fail, FlipFirstByte };
  explicit InterposedPort(ScsiPort& inner) : inner_(inner) {}

  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    if (denyAll) {
      ScsiOutcome refused;
      refused.platformError = 13;
      refused.accessDenied = true;
      return refused;
    }
    if (hits > 0) ++commandsAfterHit;
    const bool hit = armed && matches && matches(request.cdb);
    if (hit) {
      armed = sticky;
      ++hits;
    }
    if (hit && action == Action::Fail) {
      ScsiOutcome failed;
      failed.opened = true;
      failed.carriedOut = true;
      failed.scsiStatus = 2;
      return failed;
    }
    ScsiOutcome outcome = inner_.Execute(path, request);
    if (hit && !request.data.empty()) request.data[0] ^= 0xFF;
    return outcome;
  }
  bool IsSimulated() const override { return !posesAsReal && inner_.IsSimulated(); }

  bool posesAsReal = false;  // the virtual adaptor as a real one
  bool denyAll = false;
  bool armed = false;
  bool sticky = false;  // stays armed after the first hit
  int hits = 0;
  int commandsAfterHit = 0;  // commands sent after the first hit
  Action action = Action::Fail;
  std::function<bool(std::span<const std::uint8_t>)> matches;

 private:
  ScsiPort& inner_;
};

class FormTest : public ::testing::Test {
 protected:
  void Load(std::vector<sim::DeviceConfig> devices) {
    platform_.reset();
    world_ = std::make_unique<sim::SimWorld>(sim::ScenarioOf(std::move(devices)), clock_);
    port_ = std::make_unique<InterposedPort>(world_->Port());
    Platform platform = world_->MakePlatform(host_);
    platform.port = port_.get();
    platform_.emplace(platform);
    view_.Attach(form_);
  }

  // Start-up as the window does it: the first scan, then registration and caption.
  void StartUp() {
    form_.Start();
    form_.FormCreate();
  }

  // Arms the port when the view records `call`.
  void ArmAt(std::string call, std::function<bool(std::span<const std::uint8_t>)> matches,
             InterposedPort::Action action = InterposedPort::Action::Fail, bool sticky = false) {
    port_->matches = std::move(matches);
    port_->action = action;
    port_->sticky = sticky;
    view_.onCall = [this, call = std::move(call)](const std::string& recorded) {
      if (recorded == call) port_->armed = true;
    };
  }

  std::size_t Mark() const { return view_.calls.size(); }
  std::vector<std::string> Since(std::size_t mark) const { return view_.CallsFrom(mark); }

  test_support::BoundedClock clock_;
  sim::SimHost host_{clock_};
  std::unique_ptr<sim::SimWorld> world_;
  std::unique_ptr<InterposedPort> port_;
  std::optional<ScopedPlatform> platform_;
  RecordingView view_{clock_};
  TForm1 form_{view_};
};

// The calls a scan makes before discovery.
inline std::vector<std::string> ScanOpening() {
  return {"Picture Image1 BACKGROUND", "Visible Image2 1", "Visible Image3 0",
          "Status Looking for Corvane adaptor", "Enabled 0", "Process"};
}

inline std::vector<std::string> NoDeviceShown() {
  return {"Picture Image3 CROSS",
          "ListClear",
          "ListAdd No available device!!!",
          "ListSelect 0",
          "ListEnabled 0",
          "Visible Image2 0",
          "Visible Image3 1",
          "Status Cannot find any supported Corvane devices.",
          "Enabled 0"};
}

inline std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace corvane::app::testing
