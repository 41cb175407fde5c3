#include "app/cli/backend.h"

#include <iostream>

#include "app/cli/tracing_port.h"

namespace corvane::app::cli {
namespace {


std::string ScenarioNames() {
  std::string names;
  for (const auto& name : sim::BuiltInScenarioNames()) {
    if (!names.empty()) names += ", ";
    names += name;
  }
  return names;
}

// The simulator's port as if it were a real device's (see CliOptions::simulationPosesAsReal).
class PosingAsRealPort : public ScsiPort {
 public:
  explicit PosingAsRealPort(ScsiPort& inner) : inner_(inner) {}
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    return inner_.Execute(path, request);
  }
  bool IsSimulated() const override { return false; }

 private:
  ScsiPort& inner_;
};

}  // namespace

void CliHost::DebugOutput(std::string_view text) {
  debugTexts_.emplace_back(text);
  if (echo_) std::cerr << "debug: " << text << (text.ends_with('\n') ? "" : "\n");
}

void CliHost::ShowErrorBox(std::string_view text, std::string_view caption) {
  std::cerr << caption << ": " << text << '\n';
}

std::string LowerCasePath(std::string_view path) {
  std::string lower(path);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

void Backend::Observe(const sim::TraceEntry& entry) {
  if (trace_) std::cerr << "trace " << sim::FormatTraceEntry(entry) << '\n';
  if (!entry.opened || !entry.carriedOut || entry.scsiStatus != 0) lastFailed_ = entry;
}

std::unique_ptr<Backend> Backend::Create(const CliOptions& options, std::string& error) {
  std::unique_ptr<Backend> backend(new Backend());
  Platform platform;
  backend->trace_ = options.trace;
  Backend* self = backend.get();
  auto observe = [self](const sim::TraceEntry& entry) { self->Observe(entry); };
  if (options.simulate || options.simulateFile) {
    std::optional<sim::Scenario> scenario;
    if (options.simulate) {
      scenario = sim::BuiltInScenario(*options.simulate);
      if (!scenario) {
        error = "unknown scenario '" + *options.simulate + "'; the built-in scenarios are: " +
                ScenarioNames();
        return nullptr;
      }
    } else {
      try {
        scenario = sim::LoadScenarioFile(*options.simulateFile);
      } catch (const std::exception& e) {
        error = "cannot use scenario file '" + *options.simulateFile + "': " + e.what();
        return nullptr;
      }
    }
    // Virtual time: the bridge's waits and pauses cost nothing in a simulation.
    backend->sleeper_ = std::make_unique<sim::SimHost>(backend->clock_);
    backend->host_ = std::make_unique<CliHost>(*backend->sleeper_, options.trace);
    backend->world_ = std::make_unique<sim::SimWorld>(*scenario, backend->clock_);
    backend->world_->SetTraceSink(observe);
    platform = backend->world_->MakePlatform(*backend->host_);
    if (options.simulationPosesAsReal) {
      backend->wrappedPort_ = std::make_unique<PosingAsRealPort>(backend->world_->Port());
      platform.port = backend->wrappedPort_.get();
    }
  } else {
    backend->real_ = OpenRealDevices(options.verb == Verb::Watch, error);
    if (!backend->real_) return nullptr;
    backend->sleeper_ = std::make_unique<StandardHostServices>();
    backend->host_ = std::make_unique<CliHost>(*backend->sleeper_, options.trace);
    backend->wrappedPort_ = std::make_unique<TracingPort>(backend->real_->Port(), observe);
    platform.port = backend->wrappedPort_.get();
    platform.disks = &backend->real_->Disks();
    platform.host = backend->host_.get();
  }
  backend->platform_ = std::make_unique<ScopedPlatform>(platform);
  return backend;
}

Backend::~Backend() {
  // The platform guard goes first: nothing may reach the port or world after this point.
  platform_.reset();
}

bool Backend::ReplugSimulated(std::string_view lowerCasePath) {
  if (!world_) return false;
  for (std::size_t i = 0; i < world_->DeviceCount(); ++i) {
    if (LowerCasePath(world_->PathOf(i)) == lowerCasePath) {
      world_->Unplug(i);
      world_->Replug(i);
      return true;
    }
  }
  return false;
}

}  // namespace corvane::app::cli
