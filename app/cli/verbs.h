// The verbs of corvane-update. Each runs against the live platform the Backend installed, prints
// its result to stdout (diagnostics to stderr) and returns the process exit code.
#pragma once

#include "app/cli/backend.h"
#include "app/cli/cli_options.h"

namespace corvane::app::cli {

int RunList(const CliOptions& options, Backend& backend);
int RunCheck(const CliOptions& options, Backend& backend);
int RunUpdate(const CliOptions& options, Backend& backend);
int RunWatch(const CliOptions& options, Backend& backend);
int RunInfo(const CliOptions& options, Backend& backend);
int RunBackup(const CliOptions& options, Backend& backend);
int RunRestore(const CliOptions& options, Backend& backend);

}  // namespace corvane::app::cli
