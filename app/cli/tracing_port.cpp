#include "app/cli/tracing_port.h"

namespace corvane::app::cli {

ScsiOutcome TracingPort::Execute(std::string_view path, const ScsiRequest& request) {
  const ScsiOutcome outcome = inner_.Execute(path, request);
  if (sink_) sink_(sim::MakeTraceEntry(path, request, outcome));
  return outcome;
}

}  // namespace corvane::app::cli
