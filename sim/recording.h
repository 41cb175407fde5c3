// Recordings of a run: every disk list and every command block a front end sent, with the answer
// it got, as a file (--record FILE); and the port and disk source that answer a later run from it
// (--replay FILE), strictly, without sending anything anywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/platform.h"

namespace corvane::sim {

struct RecordedStep {
  enum class Kind { DiskList, Command };
  Kind kind = Kind::Command;
  // DiskList: whether the list could be obtained, and its paths (nullopt: unreadable path).
  bool listed = false;
  std::vector<std::optional<std::string>> disks;
  // Command: what was sent...
  std::string path;
  std::vector<std::uint8_t> cdb;
  device::DataDirection direction = device::DataDirection::In;
  std::uint32_t length = 0;  // bytes of the data phase
  std::uint32_t timeoutSeconds = 0;
  device::OpenMode openMode = device::OpenMode::Shared;
  std::vector<std::uint8_t> dataOut;
  // ...and what came back; dataIn without its trailing zeros (the buffer starts zero-filled).
  device::ScsiOutcome outcome;
  std::vector<std::uint8_t> dataIn;
  std::uint64_t durationUs = 0;  // how long the port took, for a person reading the file
};

struct Recording {
  std::string tool;         // the program and version that recorded it
  bool simulated = false;   // recorded on virtual adaptors (the port's IsSimulated)
  std::vector<RecordedStep> steps;
};

std::string RecordingText(const Recording& recording);
// Throws ScenarioError naming the key when the text is no recording of a version this tool reads.
Recording ParseRecording(std::string_view text);
Recording LoadRecordingFile(const std::string& fileName);

// Puts itself around a platform's port and disk source and keeps what crosses them.
class Recorder {
 public:
  Recorder(const device::Platform& inner, std::string tool);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // `inner` with the recording port and disk source.
  device::Platform MakePlatform() const;
  const Recording& Recorded() const { return recording_; }

 private:
  class Port;
  class Disks;
  device::Platform inner_;
  Recording recording_;
  std::unique_ptr<Port> port_;
  std::unique_ptr<Disks> disks_;
};

// Answers a run from a recording. The run must ask exactly what the recording holds, in the same
// order; at the first difference the replay stops: from then on no path opens and no disk list
// can be obtained, so the run winds down without anything being sent anywhere.
class Replayer {
 public:
  explicit Replayer(Recording recording);
  ~Replayer();
  Replayer(const Replayer&) = delete;
  Replayer& operator=(const Replayer&) = delete;

  // The replaying port, disk source and log, with `host` (virtual time, for a fast replay).
  device::Platform MakePlatform(device::HostServices& host);
  // Called once, at the first difference, with Divergence().
  void SetDivergenceSink(std::function<void(const std::string&)> sink);

  // The first difference in words, once there was one.
  const std::optional<std::string>& Divergence() const { return divergence_; }
  // After the run: the first difference, or that the run stopped before the recording's end.
  std::optional<std::string> Verdict() const;
  std::size_t StepsUsed() const { return next_; }
  std::size_t StepCount() const { return recording_.steps.size(); }
  const Recording& Recorded() const { return recording_; }

 private:
  class Port;
  class Disks;
  // The next recorded step if it is of `kind`; nullptr (and the replay stopped) otherwise.
  const RecordedStep* Next(RecordedStep::Kind kind, std::string_view asked);
  void Diverge(std::string message);

  Recording recording_;
  std::size_t next_ = 0;
  std::optional<std::string> divergence_;
  std::function<void(const std::string&)> sink_;
  device::CommandLog log_;
  std::unique_ptr<Port> port_;
  std::unique_ptr<Disks> disks_;
};

// The first way `request` to `path` differs from the recorded command, in words; nullopt when it
// is the same command.
std::optional<std::string> CompareWithRecorded(const RecordedStep& recorded, std::string_view path,
                                               const device::ScsiRequest& request);

}  // namespace corvane::sim
