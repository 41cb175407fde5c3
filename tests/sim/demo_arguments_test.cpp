// The window programs' command line and their demo pacing, shared by the Qt and the Win32 window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "sim/demo_session.h"

namespace corvane::sim {
namespace {

using ::testing::HasSubstr;
using Action = DemoArguments::Action;

TEST(DemoArguments, ReadsADemoOrSaysWhatIsWrong) {
  struct Row {
    std::vector<std::string_view> arguments;
    Action action;
    std::size_t devices;  // of the chosen scenario, when one was chosen
    const char* message;
  };
  const Row rows[] = {
      {{}, Action::Run, 0, ""},
      {{"--simulate", "two"}, Action::Run, 2, ""},
      {{"--help"}, Action::Help, 0, "Built-in scenarios: kts210, kts260"},
      {{"/?"}, Action::Help, 0, "--simulate-file FILE"},
      {{"--simulate", "nosuch"}, Action::Error, 0, "unknown scenario 'nosuch'"},
      {{"--simulate-file", "/no/such/file.json"}, Action::Error, 0, "cannot use scenario file"},
      {{"--simulate"}, Action::Error, 0, "unknown option --simulate"},
      {{"--fast"}, Action::Error, 0, "unknown option --fast\nusage:"},
      {{"--simulate", "kts260", "--simulate-state", "s.json", "--record", "r.json"}, Action::Run, 1, ""},
      {{"--replay", "/no/such/recording.json"}, Action::Error, 0, "recording: /no/such/recording.json does not exist"},
      {{"--simulate-state", "s.json"}, Action::Error, 0, "give it with --simulate or --simulate-file"},
      {{"--replay", "r.json", "--simulate", "kts260"}, Action::Error, 1, "give it without --simulate"},
      {{"--replay", "r.json", "--record", "s.json"}, Action::Error, 0, "either --replay or --record"},
  };
  for (const Row& row : rows) {
    const DemoArguments read = ReadDemoArguments(row.arguments);
    EXPECT_EQ(read.action, row.action) << row.message;
    EXPECT_THAT(read.message, HasSubstr(row.message));
    EXPECT_EQ(read.scenario ? read.scenario->devices.size() : 0u, row.devices) << row.message;
  }
}

TEST(DemoSession, WindowPacingIsWatchableUnlessSwitchedOff) {
  struct Row {
    std::optional<int> perKiB;
    long long kiB, command;
  };
  const Row rows[] = {{std::nullopt, 25, 2}, {40, 40, 2}, {0, 0, 0}, {-5, 0, 0}};
  for (const Row& row : rows) {
    const DemoSession::Options options = DemoSession::WindowPacing(row.perKiB);
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(options.perKiB).count(), row.kiB);
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(options.perCommand).count(),
              row.command);
    EXPECT_EQ(options.realSleepCapMs, 20u);
  }
}

}  // namespace
}  // namespace corvane::sim
