// What the last update run came to, for whoever needs more than the window's two words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/command_trace.h"
#include "firmware/update_context.h"

namespace corvane::app {

enum class RunOutcome {
  NotRun,    // no update run yet
  Complete,  // "Update complete": firmware written and verified, NVRAM rebranded and verified
  Fail,      // "Update Fail"
};

struct UpdateRunResult {
  RunOutcome outcome = RunOutcome::NotRun;
  std::string path;           // the device written to (lower-cased)
  std::uint8_t chipCode = 0;  // taken from the last check's identification word
  // The selected row named no bridge this tool updates: nothing was sent.
  bool notUpdatable = false;
  // Where the firmware and NVRAM procedures gave up, as they said themselves, in order. The flash
  // procedure tries twice, so a Complete run may still hold the failure of its first attempt.
  std::vector<firmware::UpdateFailure> failures;
  // The last command that failed on the wire during the run (when the platform logs commands).
  std::optional<device::TraceEntry> failedCommand;
};

// Why a run failed, in words for a log or a terminal: the procedure's step, what went wrong on
// the wire and the failed command itself. Empty for a run that did not fail.
std::string DescribeRunFailure(const UpdateRunResult& run);

}  // namespace corvane::app
