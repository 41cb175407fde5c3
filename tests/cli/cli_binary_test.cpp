// Runs the built corvane-update on virtual adaptors and checks what a user or a script sees:
// output lines, JSON fields and exit codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "nlohmann/json.hpp"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& name) {
  std::ifstream in(name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// `arguments` are the test's own words (no quoting needed); `input` is fed on stdin.
ToolRun RunTool(const std::string& arguments, const std::string& input = "") {
  // ctest runs the tests of this file as parallel processes: every run gets files of its own.
  static int runCount = 0;
  const std::string dir = ::testing::TempDir() + "cli_" + std::to_string(getpid()) + "_" +
                          std::to_string(++runCount) + "_";
  const std::string in = dir + "in.txt", out = dir + "out.txt", err = dir + "err.txt";
  std::ofstream(in) << input;
  const std::string command = std::string(CORVANE_UPDATE_BINARY) + " " + arguments + " <" + in +
                              " >" + out + " 2>" + err;
  const int status = std::system(command.c_str());
  ToolRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

nlohmann::json Json(const ToolRun& run) { return nlohmann::json::parse(run.out); }

TEST(CliList, ListsWhatTheWindowsScanListsWithVersions) {
  struct Case {
    const char* scenario;
    int exitCode;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"kts260", 0,
       {"<<USB>> Corvane KTS260 NVMe       ChipCode=0x16 chip=KTS260 firmware=0.1.0.8 "
        "path=sim/usbstor/0"}},
      {"two", 0,
       {"<<USB>> Corvane KTS210 SATA       ChipCode=0x13 chip=KTS210 firmware=0.2.1.3 "
        "path=sim/usbstor/0",
        "<<USB>> Corvane KTS260 NVMe       ChipCode=0x16 chip=KTS260 firmware=0.1.0.8 "
        "path=sim/usbstor/1"}},
      {"none", 2, {"Cannot find any supported Corvane devices."}},
      {"1394", 0, {"<<1394>> Corvane KTS210 SATA       ChipCode=0x13 chip=KTS210 "
                   "firmware=0.2.1.3 path=sim/sbp2/0"}},
  };
  for (const auto& c : cases) {
    const ToolRun run = RunTool(std::string("list --simulate ") + c.scenario);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.scenario;
    std::string expected;
    for (const auto& line : c.lines) expected += line + "\n";
    EXPECT_EQ(run.out, expected) << c.scenario;
  }
}

TEST(CliList, JsonNamesBusChipAndFirmware) {
  const ToolRun run = RunTool("list --json --simulate uas");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto devices = Json(run)["devices"];
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0]["bus"], "uas");
  EXPECT_EQ(devices[0]["chipCode"], 0x16);
  EXPECT_EQ(devices[0]["chip"], "KTS260");
  EXPECT_EQ(devices[0]["firmware"], "0.1.0.8");
  EXPECT_EQ(devices[0]["path"], "sim/scsi/0");
}

TEST(CliList, TracePrintsEveryCommandBlockToStderr) {
  const ToolRun run = RunTool("list --trace --simulate kts260");
  EXPECT_EQ(run.exitCode, 0);
  // INQUIRY with its direction, length, time-out and result; stdout keeps only the listing.
  EXPECT_THAT(run.err, HasSubstr("trace sim/usbstor/0  12 00 00 00 28 00 00 00 00 00 00 00  in   "
                                 "len=40  t=10s  shared  -> ok"));
  EXPECT_THAT(run.out, Not(HasSubstr("trace")));
}

TEST(CliCheck, EachOutcomeWithTheWindowsStatusAndItsExitCode) {
  struct Case {
    const char* arguments;
    int exitCode;
    const char* result;
    const char* status;
  };
  const Case cases[] = {
      {"--simulate kts260", 5, "update-offered",
       "Click here to download and update the Corvane NVMe Bridge 234.01.00.01"},
      {"--simulate kts210", 5, "update-offered",
       "Click here to download and update the Corvane SATA Bridge 02.14"},
      {"--simulate kts260-current", 0, "current", "Your product is up to date"},
      {"--simulate kts260-unlisted", 8, "unlisted-version",
       "Cannot find any supported Corvane devices."},
      {"--simulate volant", 4, "not-supported", "Cannot find any supported Corvane devices."},
      {"--simulate kts210-rom", 4, "not-supported", "Cannot find any supported Corvane devices."},
      {"--simulate none", 2, "no-device", "Cannot find any supported Corvane devices."},
      {"--simulate two", 3, "several-adaptors",
       "Multiple USB drives are attached. Please disconnect all devices.\n"
       " Except the one that needs to be updated."},
      {"--simulate two --device SIM/USBSTOR/1", 5, "update-offered",
       "Click here to download and update the Corvane NVMe Bridge 234.01.00.01"},
  };
  for (const auto& c : cases) {
    const ToolRun text = RunTool(std::string("check ") + c.arguments);
    EXPECT_EQ(text.exitCode, c.exitCode) << c.arguments;
    EXPECT_THAT(text.out, HasSubstr(std::string("status: ") + c.status + "\n")) << c.arguments;
    const ToolRun json = RunTool(std::string("check --json ") + c.arguments);
    EXPECT_EQ(json.exitCode, c.exitCode) << c.arguments;
    EXPECT_EQ(Json(json)["result"], c.result) << c.arguments;
    EXPECT_EQ(Json(json)["status"], c.status) << c.arguments;
  }
}

// The row chosen with --device is the one reported, also when its check empties the window's
// device list.
TEST(CliCheck, DeviceOptionReportsTheChosenRowEvenWhenNotSupported) {
  const std::string file = ::testing::TempDir() + "cli_two_volant.json";
  std::ofstream(file) << R"({ "devices": [
      { "bus": "usb", "chip": "KTS260", "firmware": [0, 1, 0, 8] },
      { "bus": "uas", "chip": "KTS260", "firmware": [0, 1, 0, 8],
        "inquiry": { "vendor": "Corvane ", "product": "volant NVMe     ", "revision": "0001" } } ] })";
  const ToolRun run = RunTool("check --json --device sim/scsi/1 --simulate-file " + file);
  ASSERT_EQ(run.exitCode, 4) << run.out << run.err;
  EXPECT_EQ(Json(run)["path"], "sim/scsi/1");
  EXPECT_EQ(Json(run)["failedGate"], "volant");

  const ToolRun missing = RunTool("check --device sim/usbstor/7 --simulate-file " + file);
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_THAT(missing.err, HasSubstr("corvane-update list"));
}

TEST(CliUpdate, OutdatedBridgesAreUpdatedAndUpToDateAfterReplug) {
  struct Case {
    const char* scenario;
    const char* chip;
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"kts260", "KTS260", "0.1.0.8", "234.1.0.1"},
      {"kts210", "KTS210", "0.2.1.3", "0.2.1.4"},
      {"kts260-rom", "KTS260", "0.1.0.8", "234.1.0.1"},
  };
  for (const auto& c : cases) {
    const ToolRun run = RunTool(std::string("update --yes --json --simulate ") + c.scenario);
    ASSERT_EQ(run.exitCode, 0) << c.scenario << run.out << run.err;
    const auto j = Json(run);
    EXPECT_EQ(j["result"], "complete") << c.scenario;
    EXPECT_EQ(j["status"], "Update complete");
    EXPECT_EQ(j["chip"], c.chip);
    EXPECT_EQ(j["firmwareBefore"], c.before);
    EXPECT_EQ(j["firmwareAfter"], c.after);
    EXPECT_EQ(j["rescanStatus"], "Your product is up to date");
  }
}

TEST(CliUpdate, PlainOutputShowsProgressLinesAndTheResult) {
  const ToolRun run = RunTool("update --yes --simulate kts260");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("status: Updating\nprogress: 0%\n"));
  EXPECT_THAT(run.out, HasSubstr("progress: 100%\nstatus: Update complete\n"));
  EXPECT_THAT(run.out, HasSubstr("rescan status: Your product is up to date\n"));
}

// What may be written, and when nothing may be: the number of WRITE BUFFER blocks on the wire
// tells whether the tool touched the flash.
TEST(CliUpdate, RefusesUnlessOfferedOrForcedAndNeverFlashesUnsupported) {
  struct Case {
    const char* arguments;
    const char* input;
    int exitCode;
    bool written;
    const char* message;
  };
  const Case cases[] = {
      {"--yes --simulate kts260-current", "", 7, false, "add --force"},
      {"--yes --force --simulate kts260-current", "", 0, true, ""},
      {"--yes --force --simulate volant", "", 4, false, "not a supported Corvane adaptor"},
      {"--yes --force --simulate kts210-rom", "", 4, false, "not a supported Corvane adaptor"},
      {"--yes --force --simulate kts260-unlisted", "", 7, false, "does not know"},
      {"--simulate kts260", "y\n", 7, false, "add --yes"},  // stdin is no terminal
      {"--yes --simulate two", "", 3, false, "--device"},
      {"--yes --simulate none", "", 2, false, ""},
  };
  for (const auto& c : cases) {
    const ToolRun run = RunTool(std::string("update --trace ") + c.arguments, c.input);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << run.err;
    const bool written = run.err.find("trace sim/usbstor/0  3B ") != std::string::npos;
    EXPECT_EQ(written, c.written) << c.arguments;
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.arguments;
  }
}

TEST(CliUpdate, FailureSaysUpdateFailWithAReason) {
  const ToolRun run = RunTool("update --yes --json --simulate kts260-unplug");
  EXPECT_EQ(run.exitCode, 6);
  const auto j = Json(run);
  EXPECT_EQ(j["result"], "fail");
  EXPECT_EQ(j["status"], "Update Fail");
  EXPECT_THAT(j["reason"].get<std::string>(), HasSubstr("could not be opened"));
}

// Adaptors that this user may not open must not look like "no adaptor": the user is told how to
// get access, and scripts get their own exit code.
TEST(CliErrors, AdaptorWithoutRightsSaysHowToGetThem) {
  const std::string file = ::testing::TempDir() + "cli_denied.json";
  std::ofstream(file) << R"({ "devices": [ { "bus": "usb", "chip": "KTS260", "accessDenied": true } ] })";
  for (const std::string verb : {"list", "check", "update --yes"}) {
    const ToolRun run = RunTool(verb + " --simulate-file " + file);
    EXPECT_EQ(run.exitCode, 9) << verb << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("udev rule")) << verb;
    EXPECT_THAT(run.err, HasSubstr("sudo corvane-update")) << verb;
  }
}

TEST(CliErrors, UnknownScenarioListsTheNamesAndBadUsageShowsHelp) {
  const ToolRun scenario = RunTool("list --simulate nosuch");
  EXPECT_EQ(scenario.exitCode, 1);
  EXPECT_THAT(scenario.err, HasSubstr("kts260"));
  const ToolRun usage = RunTool("update --forse");
  EXPECT_EQ(usage.exitCode, 1);
  EXPECT_THAT(usage.err, HasSubstr("Usage: corvane-update"));
}

// Input a user or a bridge may give that is no good: each ends with a clear word and its exit
// code, never a crash; JSON output stays JSON whatever bytes the bridge answers.
TEST(CliErrors, BadInputGetsAClearResult) {
  const std::string dir = ::testing::TempDir();
  std::ofstream(dir + "cli_empty.json") << "";
  std::ofstream(dir + "cli_bytes.json")
      << R"({"devices": [{"chip": "KTS260", "inquiry": {"vendor": [67, 233, 255, 27, 0, 1, 92, 34],
            "product": [0, 255, 128]}}]})";
  struct Case {
    std::string arguments;
    int exitCode;
    const char* says;  // on stderr, or empty
    bool json;         // stdout is one JSON document
  };
  const Case cases[] = {
      {"list --simulate-file " + dir, 1, "cannot read", false},
      {"list --simulate-file " + dir + "cli_empty.json", 1, "not valid JSON", false},
      {"list --json --simulate-file " + dir + "cli_bytes.json", 0, "", true},
      {"check --json --simulate-file " + dir + "cli_bytes.json", 5, "", true},  // offered, as for any KTS260
      {"check --device sim/usbstor/" + std::string(245, '0') + " --simulate kts260", 2, "corvane-update list", false},
      {"check --device sim/usbstor/" + std::string(990, '0') + " --simulate kts260", 2, "corvane-update list", false},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.says)) << c.arguments;
    if (c.json) {
      EXPECT_NO_THROW(Json(run)) << c.arguments << "\n" << run.out;
    }
  }
  std::remove((dir + "cli_empty.json").c_str());
  std::remove((dir + "cli_bytes.json").c_str());
}

// The watch runs the window's 500 ms rescan timer on the real clock: an unplug and re-plug in
// quick succession end in exactly one rescan.
TEST(CliWatch, OneRescanAfterABurstOfDeviceEvents) {
  const ToolRun run = RunTool("watch --simulate kts260", "unplug 0\nreplug 0\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::istringstream lines(run.out);
  std::vector<std::string> scans;
  for (std::string line; std::getline(lines, line);) scans.push_back(line);
  ASSERT_EQ(scans.size(), 2u) << run.out;
  EXPECT_THAT(scans[0], HasSubstr("scan 1 t="));
  EXPECT_THAT(scans[1], HasSubstr("scan 2 t="));
  EXPECT_THAT(scans[1], HasSubstr("update-offered: Click here to download and update the Corvane "
                                  "NVMe Bridge 234.01.00.01 | <<USB>> Corvane KTS260 NVMe"));
}

}  // namespace
