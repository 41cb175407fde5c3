// The command line of corvane-update: verbs, options and the usage text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::app::cli {

enum class Verb { List, Check, Update, Watch, Info, Backup, Restore, Help, Version };

struct CliOptions {
  Verb verb = Verb::Help;
  bool json = false;
  bool trace = false;
  bool yes = false;
  bool force = false;
  bool noBackup = false;                     // update, restore: --no-backup
  bool fromOtherAdaptor = false;             // restore: --from-other-adaptor
  std::optional<std::string> device;         // --device PATH
  std::optional<std::string> simulate;       // --simulate NAME (a built-in scenario)
  std::optional<std::string> simulateFile;   // --simulate-file FILE.json
  std::optional<std::string> simulateState;  // --simulate-state FILE: the virtual adaptors between runs
  std::optional<std::string> record;         // --record FILE: every disk list and command, answered
  std::optional<std::string> replay;         // --replay FILE: answer the run from a recording
  std::optional<int> maxRescans;             // watch: stop after this many rescans
  std::optional<int> seconds;                // watch: stop after this many seconds
  std::optional<std::string> output;         // backup: --output FILE
  std::optional<std::string> backupFile;     // restore FILE
  // Not on the command line: lets tests present the virtual adaptors as attached devices, to
  // prove what the tool refuses to do to a real adaptor.
  bool simulationPosesAsReal = false;
};

struct ParseResult {
  std::optional<CliOptions> options;  // set when the line was understood
  std::string error;                  // otherwise: what was wrong, in words a user can act on
};

// Reads argv[1..]; argv[0] is not part of `arguments`. Options may stand before or after the verb.
ParseResult ParseArguments(const std::vector<std::string_view>& arguments);

// The usage text printed by `help` and after a usage error.
std::string UsageText();

}  // namespace corvane::app::cli
