// `watch`: the window's device-change watch without a window. Device events go to the form's
// WMDeviceChange, its rescan timer runs on the real clock, and every scan prints one line.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/shown_text.h"
#include "app/cli/terminal.h"
#include "app/cli/verbs.h"
#include "app/cli/watch_loop.h"
#include "device/system_devices.h"

namespace corvane::app::cli {
namespace {

std::string OneLine(std::string text) {
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  return line;
}

// "0 to 1", or that there is none to name.
std::string DeviceNumbers(std::size_t count) {
  if (count == 0) return "none: the scenario has no virtual adaptor";
  return "0 to " + std::to_string(count - 1);
}

// A command for the virtual adaptors, read from stdin: "unplug N", "replug N", "plug N", "quit".
// False for "quit".
bool HandleSimulationCommand(const std::string& line, sim::SimWorld& world) {
  std::istringstream words(line);
  std::string verb;
  std::size_t index = 0;
  words >> verb;
  if (verb.empty()) return true;
  if (verb == "quit") return false;
  const bool known = verb == "unplug" || verb == "replug" || verb == "plug";
  if (!known || !(words >> index)) {
    std::cerr << "watch: unknown command '" << ShownText(line)
              << "'; use unplug N, replug N or quit\n";
    return true;
  }
  if (index >= world.DeviceCount()) {
    std::cerr << "watch: no device " << index << "; the virtual adaptors are numbered "
              << DeviceNumbers(world.DeviceCount()) << "\n";
    return true;
  }
  if (verb == "unplug") {
    world.Unplug(index);
  } else {
    world.Replug(index);
  }
  return true;
}

}  // namespace

int RunWatch(const CliOptions& options, Backend& backend) {
  using Clock = HeadlessView::Clock;
  const Clock::time_point start = Clock::now();
  std::optional<Clock::time_point> end;
  if (options.seconds) end = start + std::chrono::seconds(*options.seconds);

  device::DeviceEventSource* events = nullptr;
  if (device::SystemDevices* real = backend.Real()) {
    std::string error;
    events = real->OpenEvents(error);
    if (events == nullptr) {
      std::cerr << "corvane-update: " << error << '\n';
      return kExitNoAccess;
    }
  }

  HeadlessView view;
  TForm1 form(view);
  form.SetAccessAdvice(device::AdviceForThisPlatform().accessDenied);
  std::vector<std::uint32_t> pending;
  if (auto* world = backend.World()) {
    world->SetPlugListener([&pending](std::size_t, bool plugged) {
      for (const std::uint32_t code : sim::PlugEventCodes(plugged)) pending.push_back(code);
    });
  }
  const std::unique_ptr<WatchLoop> loop = MakeWatchLoop(events, backend.Simulated());

  int printedScans = 0;
  auto printNewScans = [&] {
    while (printedScans < form.ScanCount()) {
      ++printedScans;
      const DeviceOutcome outcome = ReadOutcome(form, view);
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      if (options.json) {
        nlohmann::json j = OutcomeJson(outcome);
        j["scan"] = printedScans;
        j["timeMs"] = ms;
        std::cout << JsonText(j) << '\n';
      } else {
        std::cout << "scan " << printedScans << " t=" << ms << "ms " << OutcomeName(outcome.outcome)
                  << ": " << OneLine(outcome.status);
        if (const std::string reason = OutcomeReason(outcome); !reason.empty()) {
          std::cout << " (" << reason << ")";
        }
        for (const auto& row : outcome.listed) {
          std::cout << " | " << ShownItem(row) << " " << ShownLine(row.path);
        }
        std::cout << '\n';
      }
      std::cout << std::flush;
    }
  };

  form.Start();
  form.FormCreate();
  printNewScans();
  if (backend.Simulated() && StdinIsTerminal()) {
    std::cerr << "watch: type 'unplug N', 'replug N' or 'quit' and Enter (N: "
              << DeviceNumbers(backend.World()->DeviceCount()) << "); Ctrl-C ends the watch\n";
  }

  // Plug commands on stdin need virtual adaptors (a replay has only their recorded answers).
  bool inputOpen = backend.World() != nullptr;
  while (!loop->StopRequested()) {
    for (const auto code : pending) {
      if (options.trace) {
        char text[24];
        std::snprintf(text, sizeof text, "event 0x%04X\n", static_cast<unsigned>(code));
        std::cerr << text;
      }
      form.WMDeviceChange(code);
    }
    pending.clear();

    const Clock::time_point now = Clock::now();
    if (end && now >= *end) break;
    const auto due = view.TimerDue(kRescanTimerId);
    if (due && *due <= now) {
      form.WMTimer(kRescanTimerId);
      view.TimerTicked(kRescanTimerId, now);  // a timer held off by a running update comes again
      printNewScans();
      if (options.maxRescans && printedScans - 1 >= *options.maxRescans) break;
      continue;
    }
    // A simulation whose script has ended and that has no rescan due has nothing more to show.
    if (backend.Simulated() && !inputOpen && !due) break;

    int timeoutMs = -1;
    const auto nextWake = due ? due : end;
    if (nextWake) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*nextWake - now).count();
      timeoutMs = static_cast<int>(std::max<long long>(0, wait));
    }
    WatchWakeUp wake = loop->Wait(timeoutMs);
    pending.insert(pending.end(), wake.events.begin(), wake.events.end());
    for (const std::string& line : wake.lines) {
      if (!inputOpen) break;
      if (!HandleSimulationCommand(line, *backend.World())) inputOpen = false;
    }
    if (wake.inputEnded) inputOpen = false;
  }
  if (options.json) backend.PrintUnsavedFilesLine();
  return kExitOk;
}

}  // namespace corvane::app::cli
