// What --simulate-state FILE, --record FILE and --replay FILE add to a run of a front end (the
// command line and both window programs wire them through here).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/platform.h"
#include "sim/recording.h"
#include "sim/sim.h"

namespace corvane::sim {

struct SessionFileOptions {
  std::optional<std::string> stateFile;   // --simulate-state: the virtual adaptors' saved state
  std::optional<std::string> recordFile;  // --record: where the run's recording goes
  std::optional<std::string> replayFile;  // --replay: the recording that answers the run
};

// Words for the user when the options do not go together; nullopt when they do. `scenarioGiven`:
// the run is on virtual adaptors (--simulate or --simulate-file).
std::optional<std::string> CheckSessionFileOptions(const SessionFileOptions& options, bool scenarioGiven);

// A file of the run that could not be saved at its end.
struct UnsavedFile {
  std::string option;  // "--record" or "--simulate-state"
  std::string file;
  std::string reason;
};

class SessionFiles {
 public:
  // Reads the recording to replay, and checks that the recording and state files can be written
  // at the end (before any device is touched); throws ScenarioError with words for the user.
  SessionFiles(SessionFileOptions options, std::string tool);
  ~SessionFiles();
  SessionFiles(const SessionFiles&) = delete;
  SessionFiles& operator=(const SessionFiles&) = delete;

  bool Replaying() const { return replayer_ != nullptr; }
  // The replayed recording was made on virtual adaptors.
  bool ReplayingSimulation() const;
  Replayer* Replay() { return replayer_.get(); }
  // The platform that answers from the recording, with `host`.
  device::Platform ReplayPlatform(device::HostServices& host);

  // With a state file that exists: its state goes into `world` (just made from the scenario).
  // Throws ScenarioError when the file is unreadable or belongs to another scenario.
  void LoadState(SimWorld& world, VirtualClock& clock);
  // `platform` with its port and disk source recorded, when recording; otherwise `platform`.
  device::Platform Record(const device::Platform& platform);

  // At the end of the run: writes the recording and the state of `world`, each replacing its
  // file in one step. What could not be saved; empty when all was. Only the first call saves.
  std::vector<UnsavedFile> SaveFiles(SimWorld* world, const VirtualClock* clock);
  // When replaying: how the run differed from the recording, or ended before it did.
  std::optional<std::string> ReplayDifference() const;
  // Both of the above, every problem in words; empty when none.
  std::vector<std::string> Finish(SimWorld* world, const VirtualClock* clock);

 private:
  SessionFileOptions options_;
  std::string tool_;
  std::unique_ptr<Replayer> replayer_;
  std::unique_ptr<Recorder> recorder_;
  std::optional<std::vector<UnsavedFile>> saved_;  // set by the first SaveFiles
};

}  // namespace corvane::sim
