// One command as it crossed the wire, its one-line form, and the log the transport keeps of the
// commands it sends (for a real device as for the simulator).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/scsi_port.h"

namespace corvane::device {

struct TraceEntry {
  std::string path;
  std::vector<std::uint8_t> cdb;
  DataDirection direction = DataDirection::In;
  std::uint32_t length = 0;  // bytes of the data phase as sent (a 1-byte read travels as 2)
  std::uint32_t timeoutSeconds = 0;
  OpenMode openMode = OpenMode::Shared;
  bool opened = false;
  bool carriedOut = false;
  std::uint8_t scsiStatus = 0;
  std::uint32_t transferred = 0;

  // Not opened, not carried out, or a SCSI status other than GOOD.
  bool Failed() const { return !opened || !carriedOut || scsiStatus != 0; }
};

TraceEntry MakeTraceEntry(std::string_view path, const ScsiRequest& request,
                          const ScsiOutcome& outcome);
// "<path>  DF 10 00 ... FA  in   len=512  t=10s  shared  -> ok (512 bytes)".
std::string FormatTraceEntry(const TraceEntry& entry);

// What the transport tells about the commands it sends, wired once with the platform. Callers
// read it by sequence number: "did anything fail since I began".
class CommandLog {
 public:
  // Called for every command as it completes (a front end's --trace).
  void SetSink(std::function<void(const TraceEntry&)> sink) { sink_ = std::move(sink); }

  void Record(std::string_view path, const ScsiRequest& request, const ScsiOutcome& outcome);

  // Commands recorded so far; a caller keeps the number it saw at its start.
  std::uint64_t Sequence() const { return sequence_; }
  // The last command that failed, if it came after sequence number `since`.
  std::optional<TraceEntry> LastFailedSince(std::uint64_t since) const;
  // Whether an open was refused for lack of rights after sequence number `since`.
  bool AccessDeniedSince(std::uint64_t since) const { return lastDenied_ > since; }

 private:
  std::function<void(const TraceEntry&)> sink_;
  std::uint64_t sequence_ = 0;
  std::uint64_t lastDenied_ = 0;
  std::uint64_t lastFailed_ = 0;
  std::optional<TraceEntry> lastFailedEntry_;
};

}  // namespace corvane::device
