// The scan and check that `check` and `update` share.
#pragma once

#include <optional>

#include "app/cli/cli_options.h"
#include "app/cli/device_outcome.h"

namespace corvane::app::cli {

// Runs the window's start-up scan (and its check) and, with --device, the check of that adaptor.
// nullopt when --device names no listed adaptor (the reason is printed); `exitCode` is the exit
// code of the outcome either way.
std::optional<DeviceOutcome> ScanAndCheck(const CliOptions& options, TForm1& form,
                                          HeadlessView& view, int& exitCode);

// Advice on stderr for outcomes the user can act on.
void PrintCheckHints(const DeviceOutcome& outcome);

}  // namespace corvane::app::cli
