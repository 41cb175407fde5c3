#include "device/command_trace.h"

#include <cstdio>

namespace corvane::device {

TraceEntry MakeTraceEntry(std::string_view path, const ScsiRequest& request,
                          const ScsiOutcome& outcome) {
  TraceEntry entry;
  entry.path = std::string(path);
  entry.cdb.assign(request.cdb.begin(), request.cdb.end());
  entry.direction = request.direction;
  entry.length = static_cast<std::uint32_t>(request.data.size());
  entry.timeoutSeconds = request.timeoutSeconds;
  entry.openMode = request.openMode;
  entry.opened = outcome.opened;
  entry.carriedOut = outcome.carriedOut;
  entry.scsiStatus = outcome.scsiStatus;
  entry.transferred = outcome.transferred;
  return entry;
}

std::string FormatTraceEntry(const TraceEntry& entry) {
  std::string line = entry.path + "  ";
  char hex[4];
  for (std::size_t i = 0; i < entry.cdb.size(); ++i) {
    std::snprintf(hex, sizeof hex, "%02X", entry.cdb[i]);
    if (i != 0) line += ' ';
    line += hex;
  }
  line += entry.direction == DataDirection::In ? "  in " : "  out";
  line += "  len=" + std::to_string(entry.length);
  line += "  t=" + std::to_string(entry.timeoutSeconds) + "s";
  line += entry.openMode == OpenMode::Exclusive ? "  excl" : "  shared";
  if (!entry.opened) {
    line += "  -> open failed";
  } else if (!entry.carriedOut) {
    line += "  -> not carried out";
  } else if (entry.scsiStatus != 0) {
    std::snprintf(hex, sizeof hex, "%02X", entry.scsiStatus);
    line += std::string("  -> status ") + hex;
  } else {
    line += "  -> ok (" + std::to_string(entry.transferred) + " bytes)";
  }
  return line;
}

void CommandLog::Record(std::string_view path, const ScsiRequest& request,
                        const ScsiOutcome& outcome) {
  ++sequence_;
  if (!outcome.opened && outcome.accessDenied) lastDenied_ = sequence_;
  const bool failed = !outcome.opened || !outcome.carriedOut || outcome.scsiStatus != 0;
  if (!failed && !sink_) return;
  TraceEntry entry = MakeTraceEntry(path, request, outcome);
  if (sink_) sink_(entry);
  if (failed) {
    lastFailed_ = sequence_;
    lastFailedEntry_ = std::move(entry);
  }
}

std::optional<TraceEntry> CommandLog::LastFailedSince(std::uint64_t since) const {
  if (lastFailed_ <= since) return std::nullopt;
  return lastFailedEntry_;
}

}  // namespace corvane::device
