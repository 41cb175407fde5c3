#include "app/cli/tracing_port.h"

namespace corvane::app::cli {

ScsiOutcome TracingPort::Execute(std::string_view path, const ScsiRequest& request) {
  const ScsiOutcome outcome = inner_.Execute(path, request);
  sim::TraceEntry entry;
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
  if (sink_) sink_(entry);
  return outcome;
}

}  // namespace corvane::app::cli
