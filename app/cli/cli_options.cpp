#include "app/cli/cli_options.h"

#include <charconv>
#include <initializer_list>

namespace corvane::app::cli {
namespace {

struct VerbName {
  std::string_view name;
  Verb verb;
};

constexpr VerbName kVerbs[] = {
    {"list", Verb::List},       {"check", Verb::Check},     {"update", Verb::Update},
    {"watch", Verb::Watch},     {"info", Verb::Info},       {"backup", Verb::Backup},
    {"restore", Verb::Restore}, {"help", Verb::Help},       {"--help", Verb::Help},
    {"-h", Verb::Help},         {"version", Verb::Version}, {"--version", Verb::Version},
};

enum class Option {
  Json, Trace, Yes, Force, NoBackup, FromOtherAdaptor, Device, Output, Simulate, SimulateFile,
  MaxRescans, Seconds,
  SimulateState, Record, Replay
};

struct OptionRule {
  std::string_view name;
  Option option;
  bool takesValue;
  std::initializer_list<Verb> verbs;  // the verbs that accept it
};

// Every verb that talks to adaptors.
const std::initializer_list<Verb> kDeviceVerbs = {Verb::List, Verb::Check,  Verb::Update,
                                                  Verb::Watch, Verb::Info, Verb::Backup,
                                                  Verb::Restore};

// Which verb accepts which option: an option given to a verb that would ignore it is a usage
// error, so a mistyped command line never silently does something else.
const OptionRule kOptions[] = {
    {"--json", Option::Json, false, kDeviceVerbs},
    {"--trace", Option::Trace, false, kDeviceVerbs},
    {"--yes", Option::Yes, false, {Verb::Update, Verb::Restore}},
    {"-y", Option::Yes, false, {Verb::Update, Verb::Restore}},
    {"--force", Option::Force, false, {Verb::Update}},
    {"--no-backup", Option::NoBackup, false, {Verb::Update, Verb::Restore}},
    {"--from-other-adaptor", Option::FromOtherAdaptor, false, {Verb::Restore}},
    {"--device", Option::Device, true,
     {Verb::Check, Verb::Update, Verb::Info, Verb::Backup, Verb::Restore}},
    {"--output", Option::Output, true, {Verb::Backup}},
    {"--simulate", Option::Simulate, true, kDeviceVerbs},
    {"--simulate-file", Option::SimulateFile, true, kDeviceVerbs},
    {"--simulate-state", Option::SimulateState, true, kDeviceVerbs},
    {"--record", Option::Record, true, kDeviceVerbs},
    {"--replay", Option::Replay, true, kDeviceVerbs},
    {"--max-rescans", Option::MaxRescans, true, {Verb::Watch}},
    {"--seconds", Option::Seconds, true, {Verb::Watch}},
};

const VerbName* FindVerb(std::string_view word) {
  for (const auto& v : kVerbs) {
    if (v.name == word) return &v;
  }
  return nullptr;
}

// The option a word names ("--device=X" names --device), or nullptr.
const OptionRule* FindOption(std::string_view word) {
  if (const auto eq = word.find('='); word.starts_with("--") && eq != std::string_view::npos) {
    word = word.substr(0, eq);
  }
  for (const auto& candidate : kOptions) {
    if (candidate.name == word) return &candidate;
  }
  return nullptr;
}

bool IsOptionWord(std::string_view word) { return word.size() > 1 && word[0] == '-'; }

std::string_view VerbText(Verb verb) {
  for (const auto& v : kVerbs) {
    if (v.verb == verb) return v.name;
  }
  return "?";
}

std::optional<int> PositiveNumber(std::string_view text) {
  int value = 0;
  const auto* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value <= 0) return std::nullopt;
  return value;
}

ParseResult Fail(std::string message) {
  ParseResult result;
  result.error = std::move(message);
  return result;
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::string_view>& arguments) {
  if (arguments.empty()) return Fail("no command given");
  // The verb is the first word that is neither an option nor an option's value.
  std::optional<std::size_t> verbAt;
  for (std::size_t i = 0; i < arguments.size() && !verbAt; ++i) {
    const std::string_view word = arguments[i];
    if (FindVerb(word) != nullptr) {
      verbAt = i;
    } else if (IsOptionWord(word)) {
      const OptionRule* rule = FindOption(word);
      if (rule != nullptr && rule->takesValue && word.find('=') == std::string_view::npos) ++i;
    } else {
      return Fail("unknown command '" + std::string(word) +
                  "'; the commands are list, check, update, watch, info, backup, restore and help");
    }
  }
  if (!verbAt) return Fail("no command given");
  CliOptions options;
  options.verb = FindVerb(arguments[*verbAt])->verb;
  if (options.verb == Verb::Help || options.verb == Verb::Version) {
    if (arguments.size() > 1) {
      // Built by appending: GCC 12 at -O3 takes "'" + string for an overlapping copy.
      std::string text(1, '\'');
      text += arguments[*verbAt];
      text += "' takes no options";
      return Fail(text);
    }
    return ParseResult{options, {}};
  }

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i == *verbAt) continue;
    std::string_view word = arguments[i];
    if (!IsOptionWord(word)) {
      if (options.verb == Verb::Restore && !options.backupFile) {
        options.backupFile = std::string(word);
        continue;
      }
      return Fail("unexpected word '" + std::string(word) + "' for '" +
                  std::string(VerbText(options.verb)) + "'");
    }
    std::optional<std::string_view> inlineValue;
    if (const auto eq = word.find('='); word.starts_with("--") && eq != std::string_view::npos) {
      inlineValue = word.substr(eq + 1);
      word = word.substr(0, eq);
    }
    const OptionRule* rule = FindOption(word);
    if (rule == nullptr) {
      return Fail("unknown option '" + std::string(arguments[i]) + "' for '" +
                  std::string(VerbText(options.verb)) + "'");
    }
    bool accepted = false;
    for (Verb v : rule->verbs) accepted = accepted || v == options.verb;
    if (!accepted) {
      return Fail("option '" + std::string(word) + "' does not apply to '" +
                  std::string(VerbText(options.verb)) + "'");
    }
    std::string value;
    if (rule->takesValue) {
      if (inlineValue) {
        value = std::string(*inlineValue);
      } else if (i + 1 < arguments.size() && i + 1 != *verbAt) {
        value = std::string(arguments[++i]);
      } else {
        return Fail("option '" + std::string(word) + "' needs a value");
      }
      if (value.empty()) return Fail("option '" + std::string(word) + "' needs a value");
    } else if (inlineValue) {
      return Fail("option '" + std::string(word) + "' takes no value");
    }

    switch (rule->option) {
      case Option::Json: options.json = true; break;
      case Option::Trace: options.trace = true; break;
      case Option::Yes: options.yes = true; break;
      case Option::Force: options.force = true; break;
      case Option::NoBackup: options.noBackup = true; break;
      case Option::FromOtherAdaptor: options.fromOtherAdaptor = true; break;
      case Option::Device: options.device = value; break;
      case Option::Output: options.output = value; break;
      case Option::Simulate: options.simulate = value; break;
      case Option::SimulateFile: options.simulateFile = value; break;
      case Option::SimulateState: options.simulateState = value; break;
      case Option::Record: options.record = value; break;
      case Option::Replay: options.replay = value; break;
      case Option::MaxRescans:
      case Option::Seconds: {
        const auto number = PositiveNumber(value);
        if (!number) {
          return Fail("option '" + std::string(word) + "' needs a whole number above 0, not '" +
                      value + "'");
        }
        (rule->option == Option::MaxRescans ? options.maxRescans : options.seconds) = number;
        break;
      }
    }
  }
  if (options.simulate && options.simulateFile) {
    return Fail("give either --simulate or --simulate-file, not both");
  }
  if (options.verb == Verb::Restore && !options.backupFile) {
    return Fail("'restore' needs the backup file: corvane-update restore FILE");
  }
  return ParseResult{options, {}};
}

std::string UsageText() {
  return R"(Usage: corvane-update <command> [options]   (options may also stand before the command)

Commands:
  list     [--json] [--trace]                      find the attached Corvane adaptors
  check    [--device PATH] [--json] [--trace]      tell whether the adaptor's firmware is current
  info     [--device PATH] [--json] [--trace]      show everything the tool reads of one adaptor
  update   [--device PATH] [-y|--yes] [--force] [--no-backup] [--json] [--trace]
                                                   save a backup, then write the carried firmware
  backup   [--device PATH] [--output FILE] [--json] [--trace]
                                                   save the adaptor's firmware area and NVRAM
  restore  FILE [--device PATH] [-y|--yes] [--no-backup] [--from-other-adaptor] [--json] [--trace]
                                                   save a backup, then write a backup of this
                                                   adaptor back onto it
  watch    [--max-rescans N] [--seconds N] [--json] [--trace]
                                                   rescan whenever a drive is attached or removed
  help                                             show this text
  version                                          show the tool's version (also --version)

Options:
  -y, --yes               write without asking (update, restore)
  --force                 write the carried firmware again into a bridge that is current
  --no-backup             update or restore without saving a backup first
  --from-other-adaptor    restore: write only the firmware area of another adaptor's backup of
                          the same chip; the adaptor keeps its own NVRAM block
  --device PATH           the adaptor to use, as 'list' prints its path
  --output FILE           where 'backup' saves the file (default: the backups folder below)

Every command also takes:
  --simulate NAME         use a built-in virtual adaptor set instead of the attached devices
  --simulate-file FILE    use the virtual adaptors described in a JSON scenario file
  --simulate-state FILE   keep the virtual adaptors' state in FILE from one run to the next
  --record FILE           write every command sent and every answer into FILE
  --replay FILE           answer from a recording instead of the devices; a run that differs stops

Backups go to $XDG_DATA_HOME/corvane-update/backups (~/.local/share/... when it is not set;
%LOCALAPPDATA%\corvane-update\backups on Windows).

Exit codes: 0 ok/current/complete, 1 usage, 2 no device, 3 several adaptors, 4 not supported,
5 update offered, 6 update/restore/backup failed, 7 refused, 8 unlisted version,
9 devices not accessible, 10 the run differs from the replayed recording, or the recording or
state was not saved.
)";
}

}  // namespace corvane::app::cli
