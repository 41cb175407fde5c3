#include "app/update_run.h"

#include <cstdio>

namespace corvane::app {
namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

std::string DescribeStep(const firmware::UpdateFailure& failure) {
  using firmware::UpdateStep;
  std::string text(firmware::UpdateStepName(failure.step));
  switch (failure.step) {
    case UpdateStep::BlockWrite:
      text += " at flash offset " + Hex(failure.offset);
      break;
    case UpdateStep::ReadBackMismatch:
    case UpdateStep::NvramMismatch:
      text += " at offset " + Hex(failure.offset);
      break;
    default:
      break;
  }
  if (failure.attempt > 0) text += " (attempt " + std::to_string(failure.attempt) + ")";
  return text;
}

std::string DescribeCommand(const device::TraceEntry& entry) {
  std::string what;
  if (!entry.opened) {
    what = "the adaptor could not be opened (unplugged, or held by another program)";
  } else if (!entry.carriedOut) {
    what = "the adaptor did not answer a command (time-out or transport error)";
  } else {
    char status[8];
    std::snprintf(status, sizeof status, "0x%02X", entry.scsiStatus);
    what = std::string("the bridge refused a command (SCSI status ") + status + ")";
  }
  return what + "; last failed command: " + device::FormatTraceEntry(entry);
}

}  // namespace

std::string DescribeRunFailure(const UpdateRunResult& run) {
  if (run.outcome != RunOutcome::Fail) return {};
  if (run.notUpdatable) return "the selected device is not a bridge this tool updates; nothing was sent";
  std::string reason;
  for (const firmware::UpdateFailure& failure : run.failures) {
    if (!reason.empty()) reason += ", then ";
    reason += DescribeStep(failure);
  }
  if (run.failedCommand) {
    if (!reason.empty()) reason += "; ";
    reason += DescribeCommand(*run.failedCommand);
  }
  if (reason.empty()) reason = "the update failed without a reason from the bridge";
  return reason;
}

}  // namespace corvane::app
