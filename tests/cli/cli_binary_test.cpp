// Runs the built corvane-update on virtual adaptors and checks what a user or a script sees:
// output lines, JSON fields and exit codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/adaptor_backup.h"
#include "firmware/carried_images.h"
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

// The backups of this test process go to a folder of its own, never to the user's.
std::string DataHome() {
  return ::testing::TempDir() + "cli_data_" + std::to_string(getpid());
}

// The backups the runs of this process saved are removed at its end.
class DataHomeCleanup : public ::testing::Environment {
 public:
  void TearDown() override { std::filesystem::remove_all(DataHome()); }
};
const auto* const kDataHomeCleanup = ::testing::AddGlobalTestEnvironment(new DataHomeCleanup);

// `arguments` are the test's own words (no quoting needed); `input` is fed on stdin; `environment`
// is put before the command ("XDG_DATA_HOME=...").
ToolRun RunTool(const std::string& arguments, const std::string& input = "",
                const std::string& environment = "XDG_DATA_HOME=" + DataHome()) {
  // ctest runs the tests of this file as parallel processes: every run gets files of its own.
  static int runCount = 0;
  const std::string dir = ::testing::TempDir() + "cli_" + std::to_string(getpid()) + "_" +
                          std::to_string(++runCount) + "_";
  const std::string in = dir + "in.txt", out = dir + "out.txt", err = dir + "err.txt";
  std::ofstream(in) << input;
  // Bounded: a run that never ends (a watch whose timer keeps firing) fails here, not at CTest's
  // time-out.
  const std::string command = environment + " timeout -k 5 60 " + std::string(CORVANE_UPDATE_BINARY) + " " +
                              arguments + " <" + in + " >" + out + " 2>" + err;
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
       {"<<USB>> Corvane KTS260 NVMe  ChipCode=0x16 chip=KTS260 firmware=0.1.0.8 romMode=no "
        "offered=234.01.00.01 path=sim/usbstor/0"}},
      {"two", 0,
       {"<<USB>> Corvane KTS210 SATA  ChipCode=0x13 chip=KTS210 firmware=0.2.1.3 romMode=no "
        "offered=02.14 path=sim/usbstor/0",
        "<<USB>> Corvane KTS260 NVMe  ChipCode=0x16 chip=KTS260 firmware=0.1.0.8 romMode=no "
        "offered=234.01.00.01 path=sim/usbstor/1"}},
      {"none", 2,
       {"Cannot find any supported Corvane devices.",
        "reason: no attached USB, UAS or 1394 disk answers as a bridge of the chip maker"}},
      {"1394", 0, {"<<1394>> Corvane KTS210 SATA  ChipCode=0x13 chip=KTS210 "
                   "firmware=0.2.1.3 romMode=no offered=02.14 path=sim/sbp2/0"}},
      {"kts260-current", 0, {"<<USB>> Corvane KTS260 NVMe  ChipCode=0x16 chip=KTS260 "
                             "firmware=234.1.0.1 romMode=no path=sim/usbstor/0"}},
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
  EXPECT_EQ(devices[0]["offeredFirmware"], "234.01.00.01");
  EXPECT_EQ(devices[0]["romMode"], false);
  EXPECT_EQ(devices[0]["model"], "Corvane KTS260 NVMe");
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

// The window's status, and why in words in the text as in the JSON.
TEST(CliCheck, EachOutcomeWithTheWindowsStatusItsReasonAndItsExitCode) {
  struct Case {
    const char* arguments;
    int exitCode;
    const char* result;
    const char* status;
    const char* reason;  // "" for none
  };
  const Case cases[] = {
      {"--simulate kts260", 5, "update-offered",
       "Click here to download and update the Corvane NVMe Bridge 234.01.00.01", ""},
      {"--simulate kts210", 5, "update-offered",
       "Click here to download and update the Corvane SATA Bridge 02.14", ""},
      {"--simulate kts260-current", 0, "current", "Your product is up to date", ""},
      {"--simulate kts260-unlisted", 8, "unlisted-version",
       "Cannot find any supported Corvane devices.", "a version this tool does not list"},
      {"--simulate volant", 4, "not-supported", "Cannot find any supported Corvane devices.",
       "VOLANT product line"},
      {"--simulate kts210-rom", 4, "not-supported", "Cannot find any supported Corvane devices.",
       "the bridge runs its boot ROM; a SATA bridge in that state cannot be updated by this tool"},
      {"--simulate none", 2, "no-device", "Cannot find any supported Corvane devices.",
       "no attached USB, UAS or 1394 disk"},
      {"--simulate two", 3, "several-adaptors",
       "Multiple USB drives are attached. Please disconnect all devices.\n"
       " Except the one that needs to be updated.", "2 adaptors are attached"},
      {"--simulate two --device SIM/USBSTOR/1", 5, "update-offered",
       "Click here to download and update the Corvane NVMe Bridge 234.01.00.01", ""},
  };
  for (const auto& c : cases) {
    const ToolRun text = RunTool(std::string("check ") + c.arguments);
    EXPECT_EQ(text.exitCode, c.exitCode) << c.arguments;
    EXPECT_THAT(text.out, HasSubstr(std::string("status: ") + c.status + "\n")) << c.arguments;
    const ToolRun json = RunTool(std::string("check --json ") + c.arguments);
    EXPECT_EQ(json.exitCode, c.exitCode) << c.arguments;
    EXPECT_EQ(Json(json)["result"], c.result) << c.arguments;
    EXPECT_EQ(Json(json)["status"], c.status) << c.arguments;
    if (*c.reason == '\0') {
      EXPECT_THAT(text.out, Not(HasSubstr("reason:"))) << c.arguments;
      EXPECT_TRUE(Json(json)["reason"].is_null()) << c.arguments;
    } else {
      const std::size_t line = text.out.find("\nreason: ");
      ASSERT_NE(line, std::string::npos) << c.arguments;
      EXPECT_THAT(text.out.substr(line, text.out.find('\n', line + 1) - line), HasSubstr(c.reason))
          << c.arguments;
      EXPECT_THAT(Json(json)["reason"].get<std::string>(), HasSubstr(c.reason)) << c.arguments;
    }
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
  EXPECT_THAT(run.out, HasSubstr("status: Updating\nprogress: writing 0%\n"));
  EXPECT_THAT(run.out, HasSubstr("progress: writing 100%\nprogress: verifying 0%\n"));
  EXPECT_THAT(run.out, HasSubstr("progress: verifying 100%\nprogress: NVRAM 0%\n"));
  EXPECT_THAT(run.out, HasSubstr("progress: NVRAM 100%\nstatus: Update complete\n"));
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
      {"--yes --force --simulate kts260-unlisted", "", 7, false, "does not list"},
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

// Whether a run put anything into the adaptor: a WRITE BUFFER or a chip-memory write on the wire.
bool WroteToAdaptor(const ToolRun& run) {
  std::istringstream lines(run.err);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("trace ")) continue;
    if (line.find("  3B ") != std::string::npos) return true;
    if (line.find("  DF ") != std::string::npos && line.find(" FB  out") != std::string::npos) return true;
  }
  return false;
}

// The update saves a backup of the old bridge first; written back onto an updated bridge it brings
// the old firmware back, which the re-plugged bridge reports.
TEST(CliBackup, UpdateSavesABackupThatRestoreWritesBack) {
  struct Case {
    const char* old;
    const char* updated;
    const char* oldVersion;
  };
  for (const Case c : {Case{"kts260", "kts260-current", "0.1.0.8"},
                       Case{"kts210", "kts210-current", "0.2.1.3"}}) {
    const ToolRun update = RunTool(std::string("update --yes --json --simulate ") + c.old);
    ASSERT_EQ(update.exitCode, 0) << c.old << update.err;
    const std::string file = Json(update)["backup"].get<std::string>();
    EXPECT_THAT(file, HasSubstr(DataHome() + "/corvane-update/backups/simulated/"));

    const ToolRun restore = RunTool("restore " + file + " --yes --json --simulate " + c.updated);
    ASSERT_EQ(restore.exitCode, 0) << c.old << restore.out << restore.err;
    EXPECT_EQ(Json(restore)["result"], "complete");
    EXPECT_EQ(Json(restore)["firmwareAfter"], c.oldVersion);
    EXPECT_EQ(Json(restore)["rescanStatus"].get<std::string>().rfind("Click here", 0), 0u);
  }
}

// A file that is damaged, foreign or of the other chip never reaches the adaptor; neither does an
// update whose backup has nowhere to go.
TEST(CliBackup, RefusedFilesAndUnsavableBackupsSendNoWrite) {
  const std::string dir = DataHome() + "/restore_";
  std::filesystem::create_directories(DataHome());
  ASSERT_EQ(RunTool("backup --simulate kts260 --output " + dir + "good.cvbackup").exitCode, 0);
  ASSERT_EQ(RunTool("backup --simulate kts210 --output " + dir + "sata.cvbackup").exitCode, 0);
  const std::string good = ReadFile(dir + "good.cvbackup");
  ASSERT_GT(good.size(), 2000u);
  std::ofstream(dir + "short.cvbackup", std::ios::binary) << good.substr(0, good.size() - 100);
  std::string altered = good;
  altered[2000] = static_cast<char>(altered[2000] ^ 0x40);
  std::ofstream(dir + "altered.cvbackup", std::ios::binary) << altered;
  std::ofstream(dir + "foreign.cvbackup") << "{\"not\": \"a backup\"}";
  // Files whose checksum is right for what they hold: only their content gives them away.
  const auto rewritten = [&](const char* name, auto change) {
    corvane::firmware::AdaptorBackup backup;
    ASSERT_EQ(corvane::firmware::DecodeBackup(
                  std::vector<std::uint8_t>(good.begin(), good.end()), backup), "");
    change(backup);
    const auto bytes = corvane::firmware::EncodeBackup(backup);
    std::ofstream(dir + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  };
  rewritten("erased.cvbackup", [](auto& b) { std::ranges::fill(b.firmwareArea, 0xFF); });
  rewritten("zeros.cvbackup", [](auto& b) { std::ranges::fill(b.firmwareArea, 0); });
  rewritten("header.cvbackup", [](auto& b) { b.firmwareArea[0] = 0x7F; });
  std::ofstream(dir + "other.json") << R"({"devices": [{"bus": "usb", "chip": "KTS260",
      "firmware": [0, 1, 0, 8], "nvram": {"field2": "NVMe Pro"}}]})";
  ASSERT_EQ(RunTool("backup --simulate-file " + dir + "other.json --output " + dir +
                    "other.cvbackup").exitCode, 0);
  struct Case {
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"short.cvbackup", "do not add up"},
      {"altered.cvbackup", "checksum"},
      {"foreign.cvbackup", "not a corvane-update backup"},
      {"sata.cvbackup", "the backup is of a KTS210 adaptor and this one is a KTS260"},
      {"missing.cvbackup", "missing.cvbackup does not exist"},
      {"erased.cvbackup", "blank (all 0xFF"},
      {"zeros.cvbackup", "blank (all 0x00)"},
      {"header.cvbackup", "does not begin with a firmware image's header"},
      {"other.cvbackup", "taken from another adaptor (the NVRAM block differs from offset 0x0D5); "
                         "nothing was written. Add --from-other-adaptor"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool("restore --trace --yes --simulate kts260 " + dir + c.file);
    EXPECT_EQ(run.exitCode, 7) << c.file;
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.file;
    EXPECT_FALSE(WroteToAdaptor(run)) << c.file;
  }

  const ToolRun unsaved = RunTool("update --yes --trace --simulate kts260", "",
                                  "XDG_DATA_HOME=" + dir + "good.cvbackup/inside");
  EXPECT_EQ(unsaved.exitCode, 7);
  EXPECT_THAT(unsaved.err, HasSubstr("no backup can be saved"));
  EXPECT_THAT(unsaved.err, HasSubstr("--no-backup"));
  EXPECT_THAT(unsaved.err, Not(HasSubstr("trace ")));  // not even a read was sent
  const ToolRun skipped = RunTool("update --yes --no-backup --json --simulate kts260", "",
                                  "XDG_DATA_HOME=" + dir + "good.cvbackup/inside");
  EXPECT_EQ(skipped.exitCode, 0) << skipped.err;
  EXPECT_TRUE(Json(skipped)["backup"].is_null());
}

// info reads and shows, and writes nothing.
TEST(CliInfo, ShowsChipInquiryBufferAndNvramFieldsWithoutWriting) {
  const ToolRun run = RunTool("info --json --trace --simulate kts260");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto j = Json(run);
  EXPECT_EQ(j["chip"], "KTS260");
  EXPECT_EQ(j["chipCode"], "0x16");
  EXPECT_EQ(j["firmware"], "0.1.0.8");
  EXPECT_EQ(j["romMode"], false);
  EXPECT_EQ(j["usbVendor"], "0x3C9F");
  EXPECT_EQ(j["inquiryProduct"], "KTS260 NVMe");
  EXPECT_EQ(j["bufferCapacity"], 0x10400);
  EXPECT_EQ(j["nvramField1"], "Quorvel");
  EXPECT_EQ(j["check"], "update-offered");
  EXPECT_FALSE(WroteToAdaptor(run));
  const ToolRun text = RunTool("--simulate kts210-rom info");
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_THAT(text.out, HasSubstr("boot ROM: yes\n"));
  EXPECT_THAT(text.out, HasSubstr("buffer boundary: 0xFF (boot ROM)\n"));
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
      {"list --simulate-file " + dir, 1, "is a folder, not a file", false},
      {"list --simulate-file " + dir + "cli_empty.json", 1, "not valid JSON", false},
      {"list --json --simulate-file " + dir + "cli_bytes.json", 0, "", true},
      {"check --json --simulate-file " + dir + "cli_bytes.json", 5, "", true},  // offered, as for any KTS260
      {"info --json --simulate-file " + dir + "cli_bytes.json", 0, "", true},
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

// Whether printed text holds a byte that moves the cursor, clears the screen or reorders a line:
// a control byte other than the line break, an 8-bit CSI, a right-to-left override.
bool SteersTerminal(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\n') return true;
  }
  return text.find("\xC2\x9B") != std::string::npos ||
         text.find("\xE2\x80\xAE") != std::string::npos;
}

int LinesStartingWith(const std::string& text, std::string_view start) {
  std::istringstream lines(text);
  int count = 0;
  for (std::string line; std::getline(lines, line);) count += line.starts_with(start) ? 1 : 0;
  return count;
}

// Adaptor 0 of the scenario names itself "\nstatus: Update complete" in its INQUIRY vendor and
// product; adaptor 1 carries ESC, BEL, an 8-bit CSI and a right-to-left override. Neither forges a
// line or reaches the terminal in any verb's text output: their bytes are shown escaped.
TEST(CliOutput, DeviceTextsCannotForgeALineOrSteerTheTerminal) {
  const std::string scenario = " --simulate-file " CORVANE_CLI_TEST_DIR "/forged_inquiry.json";
  std::filesystem::create_directories(DataHome());
  const std::string backup = DataHome() + "/forged.cvbackup";
  const char* forged = "<<USB>> \\nstatus: Update complete";
  const char* steering = "Corvane\\x1B]0;x\\x07\\u009B2J\\u202Edcba";
  struct Case {
    std::string arguments;
    int exitCode;
    const char* shows;  // on stdout
    int completeLines;  // lines that begin "status: Update complete"
  };
  const Case cases[] = {
      {"list", 0, steering, 0},
      {"watch", 0, forged, 0},
      {"check", 3, forged, 0},  // several adaptors: both are named
      {"info --device sim/usbstor/1", 0, steering, 0},
      {"info --device sim/usbstor/0", 0, "NVRAM field 1: \\x1B[2J\\\\\\x0A\n", 0},
      {"update --device sim/usbstor/0", 7, forged, 0},  // refused: no terminal to confirm on
      {"update --yes --trace --device sim/usbstor/0", 0, forged, 1},
      {"backup --device sim/usbstor/1 --output " + backup, 0, steering, 0},
      {"restore " + backup + " --device sim/usbstor/1", 7, steering, 0},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool(c.arguments + scenario);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr(c.shows)) << c.arguments;
    EXPECT_FALSE(SteersTerminal(run.out)) << c.arguments << "\n" << run.out;
    EXPECT_FALSE(SteersTerminal(run.err)) << c.arguments << "\n" << run.err;
    EXPECT_EQ(LinesStartingWith(run.out + run.err, "status: Update complete"), c.completeLines)
        << c.arguments << "\n" << run.out;
  }
  // JSON carries the device's bytes, escaped the JSON way, and stays JSON.
  const ToolRun json = RunTool("list --json" + scenario);
  EXPECT_FALSE(SteersTerminal(json.out)) << json.out;
  EXPECT_EQ(Json(json)["devices"][1]["model"],
            "Corvane\x1B]0;x\x07\xC2\x9B" "2J\xE2\x80\xAE" "dcba");
}

// Names of files and keys read from them reach standard error escaped as well.
TEST(CliOutput, FileNamesAndKeysInMessagesAreEscaped) {
  const std::string dir = ::testing::TempDir() + "cli_" + std::to_string(getpid());
  const std::string named = dir + "_\x1B" "c.json";
  const std::string keyed = dir + "_key.json";
  std::ofstream(keyed) << R"({"devices": [{"chip": "KTS260", "\u001b[2J\nstatus: ok": 1}]})";
  struct Case {
    std::string arguments;
    const char* says;
  };
  const Case cases[] = {
      {"list --simulate-file " + named, "_\\x1Bc.json"},
      {"list --replay " + named, "_\\x1Bc.json"},
      {"check --simulate-file " + keyed, "unknown key \"\\x1B[2J\\nstatus: ok\""},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool(c.arguments);
    EXPECT_EQ(run.exitCode, 1) << c.arguments;
    EXPECT_THAT(run.err, HasSubstr(c.says)) << c.arguments;
    EXPECT_FALSE(SteersTerminal(run.err)) << c.arguments << "\n" << run.err;
  }
  std::remove(keyed.c_str());
}

// The watch runs the window's 500 ms rescan timer on the real clock: an unplug and re-plug in
// quick succession end in exactly one rescan.
TEST(CliWatch, OneRescanAfterABurstOfDeviceEvents) {
  // One rescan is due; a watch whose timer fires more often stops at the third scan.
  const ToolRun run = RunTool("watch --max-rescans 2 --simulate kts260", "unplug 0\nreplug 0\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::istringstream lines(run.out);
  std::vector<std::string> scans;
  for (std::string line; std::getline(lines, line);) scans.push_back(line);
  ASSERT_EQ(scans.size(), 2u) << run.out;
  EXPECT_THAT(scans[0], HasSubstr("scan 1 t="));
  EXPECT_THAT(scans[1], HasSubstr("scan 2 t="));
  EXPECT_THAT(scans[1], HasSubstr("update-offered: Click here to download and update the Corvane "
                                  "NVMe Bridge 234.01.00.01 | <<USB>> Corvane KTS260 NVMe"));

  const ToolRun outOfRange = RunTool("watch --simulate kts260", "unplug 7\n");
  EXPECT_THAT(outOfRange.err, HasSubstr("no device 7; the virtual adaptors are numbered 0 to 0"));
}

// Recordings made on the simulator (tests/cli/recordings) answer the same verb without any
// device, and a run that asks something else stops with the first difference and exit code 10.
TEST(CliReplay, EachVerbReplaysItsRecordingAndADifferentRunStops) {
  const std::string dir = CORVANE_RECORDINGS_DIR "/";
  struct Case {
    std::string arguments;
    int exitCode;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      {"list --replay " + dir + "list-two.json", 0,
       "firmware=0.2.1.3 romMode=no offered=02.14 path=sim/usbstor/0\n<<USB>> Corvane KTS260 NVMe  "
       "ChipCode=0x16 chip=KTS260 firmware=0.1.0.8 romMode=no offered=234.01.00.01 "
       "path=sim/usbstor/1\n", ""},
      {"check --replay " + dir + "check-kts210.json", 5,
       "firmware: 0.2.1.3\noffered firmware: 02.14\nresult: update-offered", ""},
      {"update --yes --replay " + dir + "update-kts260.json", 0,
       "status: Update complete\nre-plugged: sim/usbstor/0\nfirmware after: 234.1.0.1", ""},
      {"watch --replay " + dir + "watch-kts260.json", 0, "scan 1 t=", ""},
      {"info --replay " + dir + "info-kts260.json", 0,
       "USB vendor: 0x3C9F\nUSB product: 0x2602\n", ""},
      {"list --replay " + dir + "check-kts210.json", 10, "",
       "replay: the run differs from the recording at step 8, a command to sim/usbstor/0: the "
       "command block: the run sent e0 f4 e7"},
      // The update goes on where the check's recording ends: nothing is written anywhere.
      {"update --yes --no-backup --trace --replay " + dir + "check-kts210.json", 10,
       "status: Update Fail", "after the recording's last step"},
      // With a backup first, its reads leave the recording and the update is refused unwritten.
      {"update --yes --trace --replay " + dir + "check-kts210.json", 10, "result: update-offered",
       "the backup could not be made"},
      {"check --replay " + dir + "update-kts260.json", 10, "result: update-offered",
       "replay: the run ended after"},
      {"check --replay " + dir + "no-such.json", 1, "", "no-such.json does not exist"},
      {"check --simulate kts260 --replay " + dir + "list-two.json", 1, "", "without --simulate"},
  };
  for (const auto& c : cases) {
    // The update's recording holds the placeholder image it sent; a build with other images differs.
    if (c.arguments.find("update-kts260") != std::string::npos &&
        !corvane::firmware::CarriesPlaceholderImages()) {
      continue;
    }
    const ToolRun run = RunTool(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << run.err;
    EXPECT_THAT(run.out, HasSubstr(c.out)) << c.arguments;
    EXPECT_THAT(run.err, HasSubstr(c.err)) << c.arguments;
    // No WRITE BUFFER is answered once the run has left the recording.
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_FALSE(line.find("  3B ") != std::string::npos && line.find("-> ok") != std::string::npos)
          << c.arguments << ": " << line;
    }
  }
}

TEST(CliReplay, ARecordingMadeNowReplaysToTheSameOutput) {
  const std::string file = ::testing::TempDir() + "cli_record_" + std::to_string(getpid()) + ".json";
  const ToolRun recorded = RunTool("check --json --simulate two --device sim/usbstor/1 --record " + file);
  EXPECT_EQ(recorded.exitCode, 5) << recorded.err;
  const ToolRun replayed = RunTool("check --json --device sim/usbstor/1 --replay " + file);
  EXPECT_EQ(replayed.exitCode, 5) << replayed.err;
  EXPECT_EQ(replayed.out, recorded.out);
  std::remove(file.c_str());
}

// One journey over several runs, as with a real adaptor: the update is pulled out half-way, the
// next run finds the bridge in its boot ROM and recovers it, and the run after that finds it current.
TEST(CliJourney, AnUpdatePulledOutHalfWayIsRecoveredByTheNextRun) {
  const std::string state = ::testing::TempDir() + "cli_state_" + std::to_string(getpid()) + ".json";
  std::remove(state.c_str());
  const std::string keep = " --simulate kts260-unplug --simulate-state " + state;
  struct Step {
    std::string arguments;
    int exitCode;
    const char* out;
  };
  const Step steps[] = {
      {"update --yes" + keep, 6, "status: Update Fail"},
      {"check" + keep, 5, "firmware: 0.1.0.8 (boot ROM)"},
      {"update --yes" + keep, 0, "status: Update complete"},
      {"check" + keep, 0, "firmware: 234.1.0.1\nresult: current"},
      // The state belongs to its scenario.
      {"check --simulate kts260 --simulate-state " + state, 1, ""},
      {"check --simulate-state " + state, 1, ""},
  };
  for (const auto& step : steps) {
    const ToolRun run = RunTool(step.arguments);
    EXPECT_EQ(run.exitCode, step.exitCode) << step.arguments << run.err;
    EXPECT_THAT(run.out, HasSubstr(step.out)) << step.arguments;
  }
  std::remove(state.c_str());
}

// Backup, update and restore as three runs of the tool on one remembered adaptor: the restored
// bridge reports its old version again and is offered the update once more.
TEST(CliJourney, ABackupTakenInOneRunIsRestoredInALaterOne) {
  const std::string state = ::testing::TempDir() + "cli_keep_" + std::to_string(getpid()) + ".json";
  const std::string backup = ::testing::TempDir() + "cli_keep_" + std::to_string(getpid()) + ".cvbackup";
  std::remove(state.c_str());
  const std::string keep = " --simulate kts260 --simulate-state " + state;
  struct Step {
    std::string arguments;
    int exitCode;
    const char* out;
  };
  const Step steps[] = {
      {"backup --output " + backup + keep, 0, "holds: KTS260 firmware 0.1.0.8"},
      {"update --yes --no-backup" + keep, 0, "firmware after: 234.1.0.1"},
      {"check" + keep, 0, "firmware: 234.1.0.1"},
      // The checks' reads before the write are no progress of the restore.
      {"restore " + backup + " --yes" + keep, 0, "status: Restoring\nprogress: writing 0%"},
      {"check" + keep, 5, "firmware: 0.1.0.8\noffered firmware: 234.01.00.01\nresult: update-offered"},
  };
  for (const auto& step : steps) {
    const ToolRun run = RunTool(step.arguments);
    EXPECT_EQ(run.exitCode, step.exitCode) << step.arguments << run.err;
    EXPECT_THAT(run.out, HasSubstr(step.out)) << step.arguments;
  }
  std::remove(state.c_str());
  std::remove(backup.c_str());
}

}  // namespace
