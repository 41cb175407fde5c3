// `watch`: the window's device-change watch without a window. Device events go to the form's
// WMDeviceChange, its rescan timer runs on the real clock, and every scan prints one line.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/verbs.h"

namespace corvane::app::cli {
namespace {

volatile std::sig_atomic_t gStopRequested = 0;

void RequestStop(int) { gStopRequested = 1; }

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: poll() returns at once with EINTR
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

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

// A command for the virtual adaptors, read from stdin: "unplug N", "replug N", "plug N", "quit".
// False for "quit".
bool HandleSimulationCommand(const std::string& line, sim::SimWorld& world) {
  std::istringstream words(line);
  std::string verb;
  std::size_t index = 0;
  words >> verb;
  if (verb.empty()) return true;
  if (verb == "quit") return false;
  if (!(words >> index) || index >= world.DeviceCount() ||
      (verb != "unplug" && verb != "replug" && verb != "plug")) {
    std::cerr << "watch: unknown command '" << line << "'; use unplug N, replug N or quit (N from 0 to "
              << world.DeviceCount() << " - 1)\n";
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

  HeadlessView view;
  TForm1 form(view);
  std::vector<std::uint32_t> pending;
  if (auto* world = backend.World()) {
    // What the kernel reports for a USB disk that goes or comes.
    world->SetPlugListener([&pending](std::size_t, bool plugged) {
      if (!plugged) pending.push_back(kDbtDeviceRemoveComplete);
      pending.push_back(kDbtDevNodesChanged);
    });
  }
  InstallStopHandlers();

  int printedScans = 0;
  auto printNewScans = [&] {
    while (printedScans < view.ScanCount()) {
      ++printedScans;
      const DeviceOutcome outcome = ReadOutcome(form, view);
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      if (options.json) {
        nlohmann::json j = OutcomeJson(outcome);
        j["scan"] = printedScans;
        j["timeMs"] = ms;
        std::cout << j.dump() << '\n';
      } else {
        std::cout << "scan " << printedScans << " t=" << ms << "ms " << OutcomeName(outcome.outcome)
                  << ": " << OneLine(outcome.status);
        for (const auto& row : outcome.listed) std::cout << " | " << row.item << " " << row.path;
        std::cout << '\n';
      }
      std::cout << std::flush;
    }
  };

  form.Start();
  form.FormCreate();
  printNewScans();

  const int eventFd = backend.Real() ? backend.Real()->EventDescriptor() : -1;
  bool stdinOpen = backend.Simulated();
  std::string input;
  while (gStopRequested == 0) {
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
    if (backend.Simulated() && !stdinOpen && !due) break;

    int timeoutMs = -1;
    const auto nextWake = due ? due : end;
    if (nextWake) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*nextWake - now).count();
      timeoutMs = static_cast<int>(std::max<long long>(0, wait));
    }
    pollfd fds[1] = {};
    nfds_t count = 0;
    if (eventFd >= 0) {
      fds[count++] = pollfd{eventFd, POLLIN, 0};
    } else if (stdinOpen) {
      fds[count++] = pollfd{STDIN_FILENO, POLLIN, 0};
    }
    const int ready = poll(fds, count, timeoutMs);
    if (ready <= 0) continue;  // time-out, or a signal (the loop looks at the stop request)
    if (eventFd >= 0) {
      for (const auto code : backend.Real()->ReadDeviceEvents()) pending.push_back(code);
    } else if (stdinOpen) {
      // Raw reads: a buffered stream could hold lines that poll() no longer reports.
      char chunk[256];
      const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
      if (got <= 0) {
        stdinOpen = false;
        input.push_back('\n');
      } else {
        input.append(chunk, static_cast<std::size_t>(got));
      }
      for (auto eol = input.find('\n'); eol != std::string::npos; eol = input.find('\n')) {
        const std::string line = input.substr(0, eol);
        input.erase(0, eol + 1);
        if (!HandleSimulationCommand(line, *backend.World())) {
          stdinOpen = false;
          input.clear();
          break;
        }
      }
    }
  }
  return kExitOk;
}

}  // namespace corvane::app::cli
