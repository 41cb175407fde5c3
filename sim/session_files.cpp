#include "sim/session_files.h"

#include <filesystem>

#include "sim/saved_json.h"
#include "sim/world_state.h"

namespace corvane::sim {

std::optional<std::string> CheckSessionFileOptions(const SessionFileOptions& options, bool scenarioGiven) {
  if (options.replayFile && scenarioGiven) {
    return "--replay answers from its recording; give it without --simulate or --simulate-file";
  }
  if (options.replayFile && options.recordFile) return "give either --replay or --record, not both";
  if (options.stateFile && !scenarioGiven) {
    return "--simulate-state keeps the state of virtual adaptors; give it with --simulate or --simulate-file";
  }
  return std::nullopt;
}

SessionFiles::SessionFiles(SessionFileOptions options, std::string tool)
    : options_(std::move(options)), tool_(std::move(tool)) {
  if (options_.replayFile) {
    replayer_ = std::make_unique<Replayer>(LoadRecordingFile(*options_.replayFile));
  }
}

SessionFiles::~SessionFiles() = default;

bool SessionFiles::ReplayingSimulation() const {
  return replayer_ != nullptr && replayer_->Recorded().simulated;
}

device::Platform SessionFiles::ReplayPlatform(device::HostServices& host) {
  return replayer_->MakePlatform(host);
}

void SessionFiles::LoadState(SimWorld& world, VirtualClock& clock) {
  if (!options_.stateFile) return;
  std::error_code ignored;
  // The first run of a journey starts from the scenario and creates the file at its end.
  if (!std::filesystem::exists(*options_.stateFile, ignored)) return;
  std::string text, error;
  if (!saved::ReadWholeFile(*options_.stateFile, text, error)) throw ScenarioError("state file: " + error);
  try {
    LoadWorldState(world, clock, text);
  } catch (const ScenarioError& e) {
    throw ScenarioError(*options_.stateFile + ": " + e.what());
  }
}

device::Platform SessionFiles::Record(const device::Platform& platform) {
  if (!options_.recordFile) return platform;
  recorder_ = std::make_unique<Recorder>(platform, tool_);
  return recorder_->MakePlatform();
}

std::vector<std::string> SessionFiles::Finish(SimWorld* world, const VirtualClock* clock) {
  std::vector<std::string> problems;
  std::string error;
  if (recorder_ && !saved::ReplaceFile(*options_.recordFile, RecordingText(recorder_->Recorded()), error)) {
    problems.push_back("the recording was not saved: " + error);
  }
  if (options_.stateFile && world != nullptr && clock != nullptr &&
      !saved::ReplaceFile(*options_.stateFile, SaveWorldState(*world, *clock), error)) {
    problems.push_back("the virtual adaptors' state was not saved: " + error);
  }
  if (replayer_) {
    if (auto verdict = replayer_->Verdict()) problems.push_back("replay: " + *verdict);
  }
  return problems;
}

}  // namespace corvane::sim
