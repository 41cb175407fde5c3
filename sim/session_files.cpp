#include "sim/session_files.h"

#include "device/file_io.h"
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
  // A file that cannot be saved is found now, not after an adaptor was written.
  if (options_.recordFile) {
    if (const std::string refused = device::CheckFileTarget(*options_.recordFile); !refused.empty()) {
      throw ScenarioError("--record: " + refused);
    }
  }
  if (options_.stateFile) {
    if (const std::string refused = device::CheckFileTarget(*options_.stateFile); !refused.empty()) {
      throw ScenarioError("--simulate-state: " + refused);
    }
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
  std::string text, problem;
  switch (saved::ReadWholeFile(*options_.stateFile, {saved::kMaxStateBytes, "a state file"}, text,
                               problem)) {
    case device::FileRead::Missing:
      // The first run of a journey starts from the scenario and creates the file at its end.
      return;
    case device::FileRead::Refused:
      throw ScenarioError("state file: " + problem);
    case device::FileRead::Read:
      break;
  }
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

std::vector<UnsavedFile> SessionFiles::SaveFiles(SimWorld* world, const VirtualClock* clock) {
  if (saved_) return *saved_;
  saved_.emplace();
  std::string error;
  if (recorder_ && !saved::ReplaceFile(*options_.recordFile, RecordingText(recorder_->Recorded()), error)) {
    saved_->push_back({"--record", *options_.recordFile, error});
  }
  if (options_.stateFile && world != nullptr && clock != nullptr &&
      !saved::ReplaceFile(*options_.stateFile, SaveWorldState(*world, *clock), error)) {
    saved_->push_back({"--simulate-state", *options_.stateFile, error});
  }
  return *saved_;
}

std::optional<std::string> SessionFiles::ReplayDifference() const {
  return replayer_ ? replayer_->Verdict() : std::nullopt;
}

std::vector<std::string> SessionFiles::Finish(SimWorld* world, const VirtualClock* clock) {
  std::vector<std::string> problems;
  for (const UnsavedFile& unsaved : SaveFiles(world, clock)) {
    problems.push_back((unsaved.option == "--record" ? "the recording was not saved: "
                                                     : "the virtual adaptors' state was not saved: ") +
                       unsaved.reason);
  }
  if (auto verdict = ReplayDifference()) problems.push_back("replay: " + *verdict);
  return problems;
}

}  // namespace corvane::sim
