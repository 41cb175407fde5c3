#include "app/cli/backend.h"

#include <iostream>

#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/shown_text.h"
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
  // One write: a note about a held signal comes between lines, never inside one.
  std::cerr << "trace " + ShownLine(device::FormatTraceEntry(entry)) + '\n';
}

}  // namespace

void CliHost::DebugOutput(std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  if (echo_) std::cerr << "debug: " << ShownLine(text) << '\n';
}

void CliHost::ShowErrorBox(std::string_view text, std::string_view caption) {
  std::cerr << ShownLine(caption) << ": " << ShownLine(text) << '\n';
}

void CliHost::AdaptorWriteBegins() {
  // Held first, so nothing ends the program while the lock is being asked for either.
  if (!shield_) shield_ = std::make_unique<InterruptShield>();
  lock_ = std::make_unique<ShutdownLock>();
  sleeper_.AdaptorWriteBegins();
  if (platform_ != nullptr) platform_->AdaptorWriteBegins();
}

void CliHost::AdaptorWriteEnds() {
  if (platform_ != nullptr) platform_->AdaptorWriteEnds();
  sleeper_.AdaptorWriteEnds();
  lock_.reset();
}

bool CliHost::LiftInterruptShield() {
  if (!shield_) return false;
  const bool end = shield_->Lift();
  shield_.reset();
  return end;
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

const std::vector<sim::UnsavedFile>& Backend::SaveSessionFiles() {
  if (!unsaved_) {
    unsaved_ = files_->SaveFiles(world_.get(), world_ ? &clock_ : nullptr);
    for (const auto& unsaved : *unsaved_) {
      std::cerr << "corvane-update: " << unsaved.option << " " << ShownLine(unsaved.file)
                << " was not saved: " << ShownLine(unsaved.reason) << '\n';
    }
  }
  return *unsaved_;
}

namespace {

nlohmann::json UnsavedJson(const std::vector<sim::UnsavedFile>& unsaved) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& file : unsaved) {
    list.push_back({{"option", file.option}, {"file", file.file}, {"reason", file.reason}});
  }
  return list;
}

}  // namespace

void Backend::PrintJsonResult(nlohmann::json result) {
  if (const auto& unsaved = SaveSessionFiles(); !unsaved.empty()) {
    result["unsavedFiles"] = UnsavedJson(unsaved);
  }
  std::cout << JsonText(result, 2) << '\n';
}

void Backend::PrintUnsavedFilesLine() {
  if (const auto& unsaved = SaveSessionFiles(); !unsaved.empty()) {
    std::cout << JsonText({{"unsavedFiles", UnsavedJson(unsaved)}}) << '\n';
  }
}

bool Backend::ActOnHeldInterruptions() {
  // The result is on its way out before the program stops or ends.
  std::cout.flush();
  std::cerr.flush();
  return host_->LiftInterruptShield();
}

int Backend::Finish(int exitCode) {
  SaveSessionFiles();
  if (const auto difference = files_->ReplayDifference()) {
    std::cerr << "corvane-update: replay: " << ShownLine(*difference) << '\n';
    return kExitSessionFile;
  }
  return exitCode;
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
