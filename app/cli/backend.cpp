#include "app/cli/backend.h"

#include <iostream>

#include "app/cli/exit_codes.h"
#include "device/ascii_text.h"

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "unknown"
#endif

namespace corvane::app::cli {
namespace {

// The simulator's port as if it were a real device's (see CliOptions::simulationPosesAsReal).
class PosingAsRealPort : public device::ScsiPort {
 public:
  explicit PosingAsRealPort(device::ScsiPort& inner) : inner_(inner) {}
  device::ScsiOutcome Execute(std::string_view path, const device::ScsiRequest& request) override {
    return inner_.Execute(path, request);
  }
  bool IsSimulated() const override { return false; }

 private:
  device::ScsiPort& inner_;
};

void PrintTraceLine(const device::TraceEntry& entry) {
  std::cerr << "trace " << device::FormatTraceEntry(entry) << '\n';
}

}  // namespace

void CliHost::DebugOutput(std::string_view text) {
  if (echo_) std::cerr << "debug: " << text << (text.ends_with('\n') ? "" : "\n");
}

void CliHost::ShowErrorBox(std::string_view text, std::string_view caption) {
  std::cerr << caption << ": " << text << '\n';
}

std::unique_ptr<Backend> Backend::Create(const CliOptions& options, std::string& error,
                                         const device::SystemDevicesOptions& devices) {
  std::unique_ptr<Backend> backend(new Backend());
  device::Platform platform;
  const sim::SessionFileOptions fileOptions{options.simulateState, options.record, options.replay};
  if (auto conflict =
          sim::CheckSessionFileOptions(fileOptions, options.simulate || options.simulateFile)) {
    error = *conflict;
    return nullptr;
  }
  try {
    backend->files_ = std::make_unique<sim::SessionFiles>(fileOptions,
                                                          "corvane-update " CORVANE_VERSION);
  } catch (const sim::ScenarioError& e) {
    error = e.what();
    return nullptr;
  }
  if (backend->files_->Replaying()) {
    // Nothing is sent anywhere: the recording answers, and its waits cost no time.
    backend->sleeper_ = std::make_unique<sim::SimHost>(backend->clock_);
    backend->host_ = std::make_unique<CliHost>(*backend->sleeper_, options.trace);
    platform = backend->files_->ReplayPlatform(*backend->host_);
  } else if (options.simulate || options.simulateFile) {
    try {
      backend->scenario_ = sim::ChooseScenario(options.simulate, options.simulateFile);
    } catch (const sim::ScenarioError& e) {
      error = e.what();
      return nullptr;
    }
    // Virtual time: the bridge's waits and pauses cost nothing in a simulation.
    backend->sleeper_ = std::make_unique<sim::SimHost>(backend->clock_);
    backend->host_ = std::make_unique<CliHost>(*backend->sleeper_, options.trace);
    backend->world_ = std::make_unique<sim::SimWorld>(backend->scenario_, backend->clock_);
    try {
      backend->files_->LoadState(*backend->world_, backend->clock_);
    } catch (const sim::ScenarioError& e) {
      error = e.what();
      return nullptr;
    }
    backend->simulation_ = OpenSimulationDevices(*backend->world_, backend->scenario_);
    platform = backend->simulation_->AsPlatform(*backend->host_);
    if (options.simulationPosesAsReal) {
      backend->wrappedPort_ = std::make_unique<PosingAsRealPort>(*platform.port);
      platform.port = backend->wrappedPort_.get();
    }
  } else {
    backend->real_ = device::OpenSystemDevices(devices);
    if (!backend->real_) {
      error = "the devices of this computer cannot be reached";
      return nullptr;
    }
    backend->sleeper_ = std::make_unique<device::StandardHostServices>();
    backend->host_ =
        std::make_unique<CliHost>(*backend->sleeper_, options.trace, &backend->real_->Host());
    platform = backend->real_->AsPlatform(backend->host_.get());
  }
  platform = backend->files_->Record(platform);
  if (platform.log != nullptr) {
    Backend* self = backend.get();
    const bool trace = options.trace;
    platform.log->SetSink([self, trace](const device::TraceEntry& entry) {
      if (trace) PrintTraceLine(entry);
      if (self->observer_) self->observer_(entry);
    });
  }
  backend->platform_ = std::make_unique<device::ScopedPlatform>(platform);
  return backend;
}

Backend::~Backend() {
  // The platform guard goes first: nothing may reach the port or world after this point.
  platform_.reset();
}

int Backend::Finish(int exitCode) {
  const auto problems = files_->Finish(world_.get(), world_ ? &clock_ : nullptr);
  for (const auto& problem : problems) std::cerr << "corvane-update: " << problem << '\n';
  return problems.empty() ? exitCode : kExitSessionFile;
}

bool Backend::ReplugSimulated(std::string_view lowerCasePath) {
  // The recording holds the re-plug's rescan: the replay answers it as it came.
  if (files_ && files_->ReplayingSimulation()) return true;
  if (!world_) return false;
  for (std::size_t i = 0; i < world_->DeviceCount(); ++i) {
    if (device::LowerCaseAscii(simulation_->PathOf(i)) == lowerCasePath) {
      world_->Unplug(i);
      world_->Replug(i);
      return true;
    }
  }
  return false;
}

}  // namespace corvane::app::cli
