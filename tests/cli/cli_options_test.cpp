#include <gtest/gtest.h>

#include "app/cli/cli_options.h"

namespace corvane::app::cli {
namespace {

std::vector<std::string_view> Words(std::initializer_list<std::string_view> words) { return words; }

TEST(CliOptions, AcceptedCommandLines) {
  struct Case {
    std::vector<std::string_view> args;
    Verb verb;
    bool json, trace, yes, force;
    std::optional<std::string> device, simulate, simulateFile;
    std::optional<int> maxRescans;
  };
  const Case cases[] = {
      {Words({"list"}), Verb::List, false, false, false, false, {}, {}, {}, {}},
      {Words({"list", "--json", "--trace", "--simulate", "two"}), Verb::List, true, true, false,
       false, {}, "two", {}, {}},
      {Words({"check", "--device=sim/usbstor/1", "--simulate-file", "a.json"}), Verb::Check,
       false, false, false, false, "sim/usbstor/1", {}, "a.json", {}},
      {Words({"update", "-y", "--force", "--device", "X"}), Verb::Update, false, false, true, true,
       "X", {}, {}, {}},
      {Words({"watch", "--max-rescans", "2", "--simulate=kts260"}), Verb::Watch, false, false,
       false, false, {}, "kts260", {}, 2},
      {Words({"--help"}), Verb::Help, false, false, false, false, {}, {}, {}, {}},
      {Words({"--version"}), Verb::Version, false, false, false, false, {}, {}, {}, {}},
      // Options before the verb, and an option's value that looks like a verb.
      {Words({"--json", "--simulate", "list", "check"}), Verb::Check, true, false, false, false,
       {}, "list", {}, {}},
      {Words({"-y", "restore", "b.cvbackup", "--device=X"}), Verb::Restore, false, false, true,
       false, "X", {}, {}, {}},
  };
  for (const auto& c : cases) {
    const ParseResult r = ParseArguments(c.args);
    ASSERT_TRUE(r.options) << c.args[0] << ": " << r.error;
    EXPECT_EQ(r.options->verb, c.verb);
    EXPECT_EQ(r.options->json, c.json);
    EXPECT_EQ(r.options->trace, c.trace);
    EXPECT_EQ(r.options->yes, c.yes);
    EXPECT_EQ(r.options->force, c.force);
    EXPECT_EQ(r.options->device, c.device);
    EXPECT_EQ(r.options->simulate, c.simulate);
    EXPECT_EQ(r.options->simulateFile, c.simulateFile);
    EXPECT_EQ(r.options->maxRescans, c.maxRescans);
  }
}

// A mistyped or misplaced option must stop the program rather than be ignored: `update --forse`
// silently dropping the flag, or `check --yes` pretending to have asked, would mislead.
TEST(CliOptions, RefusedCommandLines) {
  struct Case {
    std::vector<std::string_view> args;
    std::string_view errorPart;
  };
  const Case cases[] = {
      {Words({}), "no command"},
      {Words({"flash"}), "unknown command 'flash'"},
      {Words({"update", "--forse"}), "unknown option '--forse'"},
      {Words({"check", "--yes"}), "does not apply to 'check'"},
      {Words({"list", "--device", "x"}), "does not apply to 'list'"},
      {Words({"check", "--device"}), "needs a value"},
      {Words({"check", "--device="}), "needs a value"},
      {Words({"list", "--json=1"}), "takes no value"},
      {Words({"watch", "--max-rescans", "0"}), "above 0"},
      {Words({"watch", "--seconds", "5s"}), "above 0"},
      {Words({"list", "--simulate", "a", "--simulate-file", "b"}), "not both"},
      {Words({"help", "--json"}), "takes no options"},
      {Words({"restore", "--yes"}), "needs the backup file"},
      {Words({"list", "extra"}), "unexpected word 'extra'"},
      {Words({"--json"}), "no command"},
      {Words({"backup", "--no-backup"}), "does not apply to 'backup'"},
      {Words({"update", "--from-other-adaptor"}), "does not apply to 'update'"},
  };
  for (const auto& c : cases) {
    const ParseResult r = ParseArguments(c.args);
    EXPECT_FALSE(r.options);
    EXPECT_NE(r.error.find(c.errorPart), std::string::npos) << r.error;
  }
}

}  // namespace
}  // namespace corvane::app::cli
