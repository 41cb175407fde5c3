#include "sim/recording.h"

#include <algorithm>
#include <chrono>

#include "sim/saved_json.h"
#include "sim/sim.h"

namespace corvane::sim {

using namespace device;
using nlohmann::json;

namespace {

constexpr std::string_view kFormat = "corvane-recording";
constexpr int kVersion = 1;
constexpr std::size_t kMaxData = 16u << 20;  // far above any one command's data phase

std::string_view DirectionName(DataDirection d) { return d == DataDirection::In ? "in" : "out"; }
std::string_view OpenName(OpenMode m) { return m == OpenMode::Shared ? "shared" : "exclusive"; }

json StepJson(const RecordedStep& s) {
  json j;
  if (s.kind == RecordedStep::Kind::DiskList) {
    json disks = json::array();
    for (const auto& d : s.disks) disks.push_back(d ? json(*d) : json(nullptr));
    j["disks"] = std::move(disks);
    j["listed"] = s.listed;
    return j;
  }
  j["path"] = s.path;
  j["cdb"] = saved::Hex(s.cdb, true);
  j["direction"] = DirectionName(s.direction);
  j["length"] = s.length;
  j["timeout"] = s.timeoutSeconds;
  j["open"] = OpenName(s.openMode);
  if (!s.dataOut.empty()) j["dataOut"] = saved::Hex(s.dataOut);
  j["opened"] = s.outcome.opened;
  j["carriedOut"] = s.outcome.carriedOut;
  j["platformError"] = s.outcome.platformError;
  j["scsiStatus"] = s.outcome.scsiStatus;
  j["transferred"] = s.outcome.transferred;
  j["accessDenied"] = s.outcome.accessDenied;
  if (!s.dataIn.empty()) j["dataIn"] = saved::Hex(s.dataIn);
  j["us"] = s.durationUs;
  return j;
}

RecordedStep ReadStep(const saved::Reader& r, const json& j, const std::string& where) {
  RecordedStep s;
  if (j.is_object() && j.contains("disks")) {
    r.Keys(j, {"disks", "listed"}, {"disks", "listed"}, where);
    s.kind = RecordedStep::Kind::DiskList;
    s.listed = r.Bool(j["listed"], where + ".listed");
    if (!j["disks"].is_array()) r.Fail(where + ".disks", "must be an array");
    for (std::size_t i = 0; i < j["disks"].size(); ++i) {
      const json& d = j["disks"][i];
      if (d.is_null()) {
        s.disks.emplace_back();
      } else {
        s.disks.emplace_back(r.Text(d, where + ".disks[" + std::to_string(i) + "]"));
      }
    }
    return s;
  }
  r.Keys(j,
         {"path", "cdb", "direction", "length", "timeout", "open", "dataOut", "opened", "carriedOut",
          "platformError", "scsiStatus", "transferred", "accessDenied", "dataIn", "us"},
         {"path", "cdb", "direction", "length", "timeout", "open", "opened", "carriedOut",
          "platformError", "scsiStatus", "transferred", "accessDenied"},
         where);
  s.kind = RecordedStep::Kind::Command;
  s.path = r.Text(j["path"], where + ".path");
  s.cdb = r.Bytes(j["cdb"], where + ".cdb", 0, 16);
  const std::string direction = r.Text(j["direction"], where + ".direction");
  if (direction != "in" && direction != "out") r.Fail(where + ".direction", "must be \"in\" or \"out\"");
  s.direction = direction == "in" ? DataDirection::In : DataDirection::Out;
  s.length = static_cast<std::uint32_t>(r.Unsigned(j["length"], where + ".length", kMaxData));
  s.timeoutSeconds = static_cast<std::uint32_t>(r.Unsigned(j["timeout"], where + ".timeout", UINT32_MAX));
  const std::string open = r.Text(j["open"], where + ".open");
  if (open != "shared" && open != "exclusive") r.Fail(where + ".open", "must be \"shared\" or \"exclusive\"");
  s.openMode = open == "shared" ? OpenMode::Shared : OpenMode::Exclusive;
  if (j.contains("dataOut")) s.dataOut = r.Bytes(j["dataOut"], where + ".dataOut", 0, s.length);
  if (s.direction == DataDirection::Out && s.dataOut.size() != s.length) {
    r.Fail(where + ".dataOut", "must hold the " + std::to_string(s.length) + " bytes sent");
  }
  s.outcome.opened = r.Bool(j["opened"], where + ".opened");
  s.outcome.carriedOut = r.Bool(j["carriedOut"], where + ".carriedOut");
  s.outcome.platformError =
      static_cast<std::uint32_t>(r.Unsigned(j["platformError"], where + ".platformError", UINT32_MAX));
  s.outcome.scsiStatus = static_cast<std::uint8_t>(r.Unsigned(j["scsiStatus"], where + ".scsiStatus", 255));
  s.outcome.transferred =
      static_cast<std::uint32_t>(r.Unsigned(j["transferred"], where + ".transferred", UINT32_MAX));
  s.outcome.accessDenied = r.Bool(j["accessDenied"], where + ".accessDenied");
  if (j.contains("dataIn")) {
    if (s.direction != DataDirection::In) r.Fail(where + ".dataIn", "is only for data-in commands");
    s.dataIn = r.Bytes(j["dataIn"], where + ".dataIn", 0, s.length);
  }
  if (j.contains("us")) s.durationUs = r.Unsigned(j["us"], where + ".us", UINT64_MAX);
  return s;
}

std::string StepName(std::size_t index) { return "step " + std::to_string(index + 1); }

}  // namespace

std::string RecordingText(const Recording& recording) {
  // One step a line, so two recordings compare well with diff.
  json head;
  head["format"] = kFormat;
  head["version"] = kVersion;
  head["tool"] = recording.tool;
  head["simulated"] = recording.simulated;
  std::string text = head.dump();
  text.pop_back();  // the closing brace: the steps follow
  text += ",\"steps\":[\n";
  for (std::size_t i = 0; i < recording.steps.size(); ++i) {
    text += StepJson(recording.steps[i]).dump();
    text += i + 1 < recording.steps.size() ? ",\n" : "\n";
  }
  return text + "]}\n";
}

Recording ParseRecording(std::string_view text) {
  const saved::Reader r("recording");
  const json j = r.Parse(text);
  r.Keys(j, {"format", "version", "tool", "simulated", "steps"}, {"format", "version", "simulated", "steps"}, "");
  if (j["format"] != kFormat) r.Fail("format", "must be \"" + std::string(kFormat) + "\"");
  if (r.Unsigned(j["version"], "version", UINT32_MAX) != kVersion) {
    r.Fail("version", "this tool reads version " + std::to_string(kVersion));
  }
  Recording recording;
  if (j.contains("tool")) recording.tool = r.Text(j["tool"], "tool");
  recording.simulated = r.Bool(j["simulated"], "simulated");
  const json& steps = j["steps"];
  if (!steps.is_array()) r.Fail("steps", "must be an array");
  for (std::size_t i = 0; i < steps.size(); ++i) {
    recording.steps.push_back(ReadStep(r, steps[i], "steps[" + std::to_string(i) + "]"));
  }
  return recording;
}

Recording LoadRecordingFile(const std::string& fileName) {
  std::string text, problem;
  if (saved::ReadWholeFile(fileName, {saved::kMaxRecordingBytes, "a recording"}, text, problem) !=
      device::FileRead::Read) {
    throw ScenarioError("recording: " + problem);
  }
  return ParseRecording(text);
}

std::optional<std::string> CompareWithRecorded(const RecordedStep& recorded, std::string_view path,
                                               const ScsiRequest& request) {
  auto differs = [](std::string what, const std::string& sent, const std::string& kept) {
    return what + ": the run sent " + sent + ", the recording has " + kept;
  };
  if (path != recorded.path) return differs("the path", std::string(path), recorded.path);
  const std::vector<std::uint8_t> cdb(request.cdb.begin(), request.cdb.end());
  if (cdb != recorded.cdb) {
    return differs("the command block", saved::Hex(cdb, true), saved::Hex(recorded.cdb, true));
  }
  if (request.direction != recorded.direction) {
    return differs("the direction", std::string(DirectionName(request.direction)),
                   std::string(DirectionName(recorded.direction)));
  }
  if (request.data.size() != recorded.length) {
    return differs("the data length", std::to_string(request.data.size()), std::to_string(recorded.length));
  }
  if (request.timeoutSeconds != recorded.timeoutSeconds) {
    return differs("the time-out", std::to_string(request.timeoutSeconds) + " s",
                   std::to_string(recorded.timeoutSeconds) + " s");
  }
  if (request.openMode != recorded.openMode) {
    return differs("the open mode", std::string(OpenName(request.openMode)),
                   std::string(OpenName(recorded.openMode)));
  }
  if (request.direction == DataDirection::Out) {
    const auto mismatch = std::mismatch(request.data.begin(), request.data.end(), recorded.dataOut.begin());
    if (mismatch.first != request.data.end()) {
      const auto at = static_cast<std::size_t>(mismatch.first - request.data.begin());
      return differs("the data sent at byte " + std::to_string(at), saved::Hex(std::span(&*mismatch.first, 1)),
                     saved::Hex(std::span(&*mismatch.second, 1)));
    }
  }
  return std::nullopt;
}

// ---- recording ----

// A platform without a port fails every open, and one without a disk source every list; so do
// their recordings, which then hold those failures.
class Recorder::Port : public ScsiPort {
 public:
  Port(ScsiPort* inner, Recording& recording) : inner_(inner), recording_(recording) {}
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    RecordedStep s;
    s.path = std::string(path);
    s.cdb.assign(request.cdb.begin(), request.cdb.end());
    s.direction = request.direction;
    s.length = static_cast<std::uint32_t>(request.data.size());
    s.timeoutSeconds = request.timeoutSeconds;
    s.openMode = request.openMode;
    if (request.direction == DataDirection::Out) s.dataOut.assign(request.data.begin(), request.data.end());
    const auto start = std::chrono::steady_clock::now();
    if (inner_ != nullptr) s.outcome = inner_->Execute(path, request);
    s.durationUs = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
    if (request.direction == DataDirection::In) {
      auto end = request.data.end();
      while (end != request.data.begin() && *(end - 1) == 0) --end;
      s.dataIn.assign(request.data.begin(), end);
    }
    recording_.steps.push_back(std::move(s));
    return recording_.steps.back().outcome;
  }
  bool IsSimulated() const override { return inner_ != nullptr && inner_->IsSimulated(); }

 private:
  ScsiPort* inner_;
  Recording& recording_;
};

class Recorder::Disks : public DiskSource {
 public:
  Disks(DiskSource* inner, Recording& recording) : inner_(inner), recording_(recording) {}
  bool ListDiskInterfaces(std::vector<DiskInterface>& interfaces) override {
    RecordedStep s;
    s.kind = RecordedStep::Kind::DiskList;
    interfaces.clear();
    s.listed = inner_ != nullptr && inner_->ListDiskInterfaces(interfaces);
    for (const auto& i : interfaces) s.disks.push_back(i.path);
    recording_.steps.push_back(std::move(s));
    return recording_.steps.back().listed;
  }

 private:
  DiskSource* inner_;
  Recording& recording_;
};

Recorder::Recorder(const Platform& inner, std::string tool)
    : inner_(inner),
      port_(std::make_unique<Port>(inner.port, recording_)),
      disks_(std::make_unique<Disks>(inner.disks, recording_)) {
  recording_.tool = std::move(tool);
  recording_.simulated = port_->IsSimulated();
}

Recorder::~Recorder() = default;

Platform Recorder::MakePlatform() const {
  Platform platform = inner_;
  platform.port = port_.get();
  platform.disks = disks_.get();
  return platform;
}

// ---- replay ----

class Replayer::Port : public ScsiPort {
 public:
  explicit Port(Replayer& replay) : replay_(replay) {}
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    const RecordedStep* step = replay_.Next(RecordedStep::Kind::Command, "a command");
    if (step == nullptr) return {};
    if (auto difference = CompareWithRecorded(*step, path, request)) {
      replay_.Diverge(StepName(replay_.next_ - 1) + ", a command to " + std::string(path) + ": " +
                      *difference);
      return {};
    }
    if (request.direction == DataDirection::In) {
      std::fill(request.data.begin(), request.data.end(), std::uint8_t{0});
      std::copy(step->dataIn.begin(), step->dataIn.end(), request.data.begin());
    }
    return step->outcome;
  }
  bool IsSimulated() const override { return replay_.recording_.simulated; }

 private:
  Replayer& replay_;
};

class Replayer::Disks : public DiskSource {
 public:
  explicit Disks(Replayer& replay) : replay_(replay) {}
  bool ListDiskInterfaces(std::vector<DiskInterface>& interfaces) override {
    interfaces.clear();
    const RecordedStep* step = replay_.Next(RecordedStep::Kind::DiskList, "the disk list");
    if (step == nullptr) return false;
    for (const auto& d : step->disks) interfaces.push_back(DiskInterface{d});
    return step->listed;
  }

 private:
  Replayer& replay_;
};

Replayer::Replayer(Recording recording)
    : recording_(std::move(recording)),
      port_(std::make_unique<Port>(*this)),
      disks_(std::make_unique<Disks>(*this)) {}

Replayer::~Replayer() = default;

Platform Replayer::MakePlatform(HostServices& host) {
  return Platform{port_.get(), disks_.get(), &host, &log_};
}

void Replayer::SetDivergenceSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }

const RecordedStep* Replayer::Next(RecordedStep::Kind kind, std::string_view asked) {
  if (divergence_) return nullptr;
  if (next_ >= recording_.steps.size()) {
    Diverge(StepName(next_) + ": the run asked for " + std::string(asked) + " after the recording's last step");
    return nullptr;
  }
  const RecordedStep& step = recording_.steps[next_++];
  if (step.kind != kind) {
    const std::string kept = step.kind == RecordedStep::Kind::DiskList
                                 ? std::string("the disk list")
                                 : "a command to " + step.path + " (" + saved::Hex(step.cdb, true) + ")";
    Diverge(StepName(next_ - 1) + ": the run asked for " + std::string(asked) + ", the recording has " + kept);
    return nullptr;
  }
  return &step;
}

void Replayer::Diverge(std::string message) {
  divergence_ = "the run differs from the recording at " + message;
  if (sink_) sink_(*divergence_);
}

std::optional<std::string> Replayer::Verdict() const {
  if (divergence_) return divergence_;
  if (next_ < recording_.steps.size()) {
    return "the run ended after " + std::to_string(next_) + " of the recording's " +
           std::to_string(recording_.steps.size()) + " steps";
  }
  return std::nullopt;
}

}  // namespace corvane::sim
