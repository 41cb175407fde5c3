#include "app/cli/cli_main.h"

#include <iostream>
#include <string_view>
#include <vector>

#include "app/cli/arguments.h"
#include "app/cli/backend.h"
#include "app/cli/cli_options.h"
#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/shown_text.h"
#include "app/cli/terminal.h"
#include "app/cli/verbs.h"

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "unknown"
#endif

namespace corvane::app::cli {

int RunCommandLine(int argc, char** argv, const device::SystemDevicesOptions& devices) {
  // No byte of a device, a file or an argument steers the terminal, whichever line prints it.
  const OutputGuard guard;
  const std::vector<std::string> commandLine = CommandLineUtf8(argc, argv);
  std::vector<std::string_view> arguments(commandLine.begin() + (commandLine.empty() ? 0 : 1),
                                          commandLine.end());
  const ParseResult parsed = ParseArguments(arguments);
  if (!parsed.options) {
    std::cerr << "corvane-update: " << ShownLine(parsed.error) << "\n\n" << UsageText();
    return kExitUsage;
  }
  const CliOptions& options = *parsed.options;
  switch (options.verb) {
    case Verb::Help:
      std::cout << UsageText();
      return kExitOk;
    case Verb::Version:
      std::cout << "corvane-update " << CORVANE_VERSION << '\n';
      return kExitOk;
    default:
      break;
  }

  // The verbs that write: output that fails must not end them halfway.
  if (options.verb == Verb::Update || options.verb == Verb::Restore) IgnoreBrokenPipes();
  std::string error;
  auto backend = Backend::Create(options, error, devices);
  if (!backend) {
    std::cerr << "corvane-update: " << ShownLine(error) << '\n';
    const int exitCode = (options.simulate || options.simulateFile || options.replay ||
                          options.simulateState || options.record)
                             ? kExitUsage
                             : kExitNoAccess;
    if (options.json) {
      std::cout << JsonText({{"result", "error"}, {"reason", error}}, 2) << '\n';
    }
    return exitCode;
  }
  try {
    int exitCode = kExitUsage;
    switch (options.verb) {
      case Verb::List: exitCode = RunList(options, *backend); break;
      case Verb::Check: exitCode = RunCheck(options, *backend); break;
      case Verb::Update: exitCode = RunUpdate(options, *backend); break;
      case Verb::Watch: exitCode = RunWatch(options, *backend); break;
      case Verb::Info: exitCode = RunInfo(options, *backend); break;
      case Verb::Backup: exitCode = RunBackup(options, *backend); break;
      case Verb::Restore: exitCode = RunRestore(options, *backend); break;
      default: break;
    }
    return backend->Finish(exitCode);
  } catch (const std::exception& e) {
    // Nothing below throws on purpose; say what happened rather than abort without a word.
    std::cerr << "corvane-update: " << ShownLine(e.what()) << '\n';
    return kExitNoAccess;
  }
}

}  // namespace corvane::app::cli
