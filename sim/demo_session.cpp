#include "sim/demo_session.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace corvane::sim {

using namespace device;

ScsiOutcome PacedPort::Execute(std::string_view path, const ScsiRequest& request) {
  const auto pause = perCommand_ + perKiB_ * static_cast<long>(request.data.size() / 1024);
  if (pause.count() > 0) std::this_thread::sleep_for(pause);
  return inner_.Execute(path, request);
}

void DemoHost::SleepMs(std::uint32_t ms) {
  clock_.AdvanceMs(ms);
  if (realCapMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, realCapMs_)));
}

DemoSession::DemoSession(const Scenario& scenario, HostServices& boxes, Options options)
    : host_(clock_, boxes, options.realSleepCapMs),
      world_(std::make_unique<SimWorld>(scenario, clock_)),
      port_(std::make_unique<PacedPort>(world_->Port(), options.perCommand, options.perKiB)) {
  world_->SetPlugListener([this](std::size_t, bool plugged) {
    if (!sink_) return;
    for (std::uint32_t code : PlugEventCodes(plugged)) sink_(code);
  });
}

DemoSession::~DemoSession() { world_->SetPlugListener({}); }

Platform DemoSession::MakePlatform() {
  Platform platform = world_->MakePlatform(host_);
  platform.port = port_.get();
  platform.host = &host_;
  return platform;
}

void DemoSession::SetDeviceEventSink(std::function<void(std::uint32_t code)> sink) {
  sink_ = std::move(sink);
}

bool DemoSession::TogglePlug(std::size_t index) {
  if (index >= world_->DeviceCount()) return false;
  if (world_->IsPlugged(index)) {
    world_->Unplug(index);
  } else {
    world_->Replug(index);
  }
  return true;
}

DemoSession::Options DemoSession::WindowPacing(std::optional<int> perKiBMs) {
  Options options;
  const int perKiB = perKiBMs ? std::max(*perKiBMs, 0) : 25;
  options.perKiB = std::chrono::milliseconds(perKiB);
  options.perCommand = std::chrono::milliseconds(perKiBMs && perKiB == 0 ? 0 : 2);
  options.realSleepCapMs = 20;
  return options;
}

std::string DemoUsageText() {
  std::string text =
      "usage: corvane-update-tool [--simulate NAME | --simulate-file FILE] [--simulate-state FILE]\n"
      "                           [--record FILE | --replay FILE]\n"
      "  Without options the tool works on the adaptors attached to this computer.\n"
      "  --simulate NAME       demo on a built-in virtual adaptor scenario\n"
      "  --simulate-file FILE  demo on a scenario file\n"
      "  --simulate-state FILE keep the virtual adaptors' state in FILE from one run to the next\n"
      "  --record FILE         write every command sent and every answer into FILE\n"
      "  --replay FILE         answer from a recording instead of the devices\n"
      "  In demo mode F5 unplugs or re-plugs the first virtual adaptor, F6 to F8 the next ones.\n"
      "Built-in scenarios: ";
  return text + BuiltInScenarioList() + "\n";
}

DemoArguments ReadDemoArguments(const std::vector<std::string_view>& arguments) {
  DemoArguments result;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string option(arguments[i]);
    if (option == "--help" || option == "-h" || option == "/?") {
      result.action = DemoArguments::Action::Help;
      result.message = DemoUsageText();
      return result;
    }
    if ((option == "--simulate" || option == "--simulate-file") && i + 1 < arguments.size()) {
      const std::string value(arguments[++i]);
      try {
        result.scenario = option == "--simulate" ? ChooseScenario(value, std::nullopt)
                                                 : ChooseScenario(std::nullopt, value);
      } catch (const std::exception& error) {
        result.action = DemoArguments::Action::Error;
        result.message = error.what();
        return result;
      }
      continue;
    }
    if ((option == "--simulate-state" || option == "--record" || option == "--replay") &&
        i + 1 < arguments.size()) {
      std::string value(arguments[++i]);
      (option == "--simulate-state" ? result.files.stateFile
       : option == "--record"       ? result.files.recordFile
                                    : result.files.replayFile) = std::move(value);
      continue;
    }
    result.action = DemoArguments::Action::Error;
    result.message = "unknown option " + option + "\n" + DemoUsageText();
    return result;
  }
  if (auto conflict = CheckSessionFileOptions(result.files, result.scenario.has_value())) {
    result.action = DemoArguments::Action::Error;
    result.message = *conflict;
    return result;
  }
  try {
    result.session = std::make_shared<SessionFiles>(result.files, "corvane-update-tool");
  } catch (const ScenarioError& error) {
    result.action = DemoArguments::Action::Error;
    result.message = error.what();
  }
  return result;
}

}  // namespace corvane::sim
