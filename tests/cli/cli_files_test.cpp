// The files the built corvane-update reads and writes, as a user or a script meets them: backups
// of runs at the same moment, odd inputs, targets that are no regular file, a recording that
// cannot be saved, and root running with a user's HOME.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "nlohmann/json.hpp"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  nlohmann::json Json() const { return nlohmann::json::parse(out); }
};

class CliFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "cli_files_" + std::to_string(getpid()) + "/";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // `before` goes in front of the tool on the shell line (settings, environment); a run that
  // blocks (on a FIFO, say) is ended after a minute rather than holding the suite up.
  ToolRun Run(const std::string& arguments, const std::string& before = "") {
    const std::string out = dir_ + "out.txt", err = dir_ + "err.txt";
    const std::string line = before + " XDG_DATA_HOME=" + dir_ + "data timeout 60 " +
                             CORVANE_UPDATE_BINARY + " " + arguments + " </dev/null >" + out +
                             " 2>" + err;
    const int status = std::system(line.c_str());
    ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
    fs::remove(out);
    fs::remove(err);
    return run;
  }
  std::string dir_;
};

// Two adaptors of one model and firmware, backed up ten times each at the same moment: every
// run gets its own file, and the file each run names holds that run's adaptor.
TEST_F(CliFiles, TwentyConcurrentBackupsOfTwoAdaptorsGiveTwentyFilesEachWithItsOwnAdaptor) {
  const std::string scenario = dir_ + "twins.json";
  std::ofstream(scenario) << R"({"devices": [{"chip": "KTS260", "firmware": [0, 1, 0, 8]},
                                             {"chip": "KTS260", "firmware": [0, 1, 0, 8]}]})";
  std::string line = "for i in $(seq 0 19); do XDG_DATA_HOME=" + dir_ + "data " +
                     CORVANE_UPDATE_BINARY + " backup --json --simulate-file " + scenario +
                     " --device sim/usbstor/$((i % 2)) >" + dir_ + "run$i.json 2>&1 & done; wait";
  ASSERT_EQ(std::system(line.c_str()), 0);
  std::set<std::string> reported;
  for (int i = 0; i < 20; ++i) {
    const auto j = nlohmann::json::parse(ReadFile(dir_ + "run" + std::to_string(i) + ".json"));
    ASSERT_EQ(j["result"], "saved") << i;
    const std::string file = j["file"];
    reported.insert(file);
    const std::string own = "path: sim/usbstor/" + std::to_string(i % 2) + "\n";
    const std::string other = "path: sim/usbstor/" + std::to_string(1 - i % 2) + "\n";
    const std::string bytes = ReadFile(file);
    EXPECT_TRUE(bytes.find(own) != std::string::npos && bytes.find(other) == std::string::npos)
        << file << " should hold the backup of " << own;
  }
  EXPECT_EQ(reported.size(), 20u);
  const auto files = fs::directory_iterator(dir_ + "data/corvane-update/backups/simulated");
  EXPECT_EQ(std::distance(fs::begin(files), fs::end(files)), 20);
}

// Inputs that are no backup, recording or state file are refused by name and reason before
// anything is sent, never read to their end and never waited on; --json carries the reason.
TEST_F(CliFiles, OddInputsAreRefusedByNameBeforeAnythingIsSent) {
  struct Row {
    const char* kind;
    std::function<std::string(const std::string&)> make;  // makes the input, returns its path
    const char* restore;  // what each reader says of it
    const char* replay;
    const char* state;
  };
  const Row rows[] = {
      {"too large",
       [](const std::string& p) {
         std::ofstream(p).close();
         fs::resize_file(p, 65u << 20);  // sparse: over every limit, never read
         return p;
       },
       "is larger than a backup can be", "is larger than a recording can be",
       "is larger than a state file can be"},
      {"FIFO", [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0 ? p : ""; },
       "is a pipe (FIFO), not a file", "is a pipe (FIFO), not a file", "is a pipe (FIFO), not a file"},
      {"folder", [](const std::string& p) { return fs::create_directory(p) ? p : ""; },
       "is a folder, not a file", "is a folder, not a file", "is a folder, not a file"},
      {"device", [](const std::string&) { return std::string("/dev/zero"); },
       "is a device, not a file", "is a device, not a file", "is a device, not a file"},
      {"link to a device",
       [](const std::string& p) {
         fs::create_symlink("/dev/zero", p);
         return p;
       },
       "is a device, not a file", "is a device, not a file", "is a symbolic link"},
  };
  for (const Row& row : rows) {
    const std::string file = row.make(dir_ + "input");
    ASSERT_FALSE(file.empty()) << row.kind;
    const struct {
      std::string arguments;
      int exitCode;
      const char* result;
      const char* says;
    } runs[] = {
        {"restore " + file + " --yes --json --trace --simulate kts260", 7, "refused", row.restore},
        {"check --json --trace --replay " + file, 1, "error", row.replay},
        {"check --json --trace --simulate kts260 --simulate-state " + file, 1, "error", row.state},
    };
    for (const auto& run : runs) {
      const ToolRun ran = Run(run.arguments);
      EXPECT_EQ(ran.exitCode, run.exitCode) << row.kind << ": " << run.arguments << "\n" << ran.err;
      EXPECT_THAT(ran.err, Not(HasSubstr("trace "))) << row.kind << ": " << run.arguments;
      ASSERT_NO_THROW(ran.Json()) << row.kind << ": " << run.arguments << "\n" << ran.out;
      EXPECT_EQ(ran.Json()["result"], run.result) << row.kind << ": " << run.arguments;
      EXPECT_THAT(ran.Json()["reason"].get<std::string>(), HasSubstr(file + " " + run.says))
          << row.kind << ": " << run.arguments;
    }
    fs::remove_all(dir_ + "input");
  }
}

// A recording, state or backup target that is not a regular file is refused before the
// adaptor is touched, and stays as it was.
TEST_F(CliFiles, TargetsThatAreNoRegularFileAreRefusedBeforeTheAdaptorIsTouched) {
  struct Row {
    const char* kind;
    std::function<bool(const std::string&)> make;
    const char* says;
  };
  const Row rows[] = {
      {"folder", [](const std::string& p) { return fs::create_directory(p); }, "is a folder"},
      {"FIFO", [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0; }, "is a pipe (FIFO)"},
      {"link to a device", [](const std::string& p) { fs::create_symlink("/dev/null", p); return true; },
       "is a symbolic link"},
      // A device node of its own (the null device), so that nothing of the machine's is at stake.
      {"device node",
       [](const std::string& p) { return mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; },
       "is a device"},
  };
  for (const Row& row : rows) {
    const std::string target = dir_ + "target";
    if (!row.make(target)) continue;  // a device node needs root (and CAP_MKNOD)
    struct stat before {};
    ASSERT_EQ(lstat(target.c_str(), &before), 0);
    const struct {
      std::string arguments;
      int exitCode;
    } runs[] = {
        {"update --yes --no-backup --trace --simulate kts260 --record " + target, 1},
        {"update --yes --no-backup --trace --simulate kts260 --simulate-state " + target, 1},
        {"backup --trace --simulate kts260 --output " + target, 6},
    };
    for (const auto& run : runs) {
      const ToolRun ran = Run(run.arguments);
      EXPECT_EQ(ran.exitCode, run.exitCode) << row.kind << ": " << run.arguments << "\n" << ran.err;
      EXPECT_THAT(ran.err, HasSubstr(target + " " + row.says)) << row.kind << ": " << run.arguments;
      EXPECT_THAT(ran.err, Not(HasSubstr("trace "))) << row.kind << ": " << run.arguments;
      struct stat after {};
      ASSERT_EQ(lstat(target.c_str(), &after), 0) << row.kind;
      EXPECT_EQ(after.st_ino, before.st_ino) << row.kind << ": " << run.arguments;
      EXPECT_EQ(after.st_mode, before.st_mode) << row.kind << ": " << run.arguments;
    }
    fs::remove_all(target);
  }
}

// The adaptor's result decides the exit code: a recording that cannot be saved at the end (here
// over the file size limit) is said on stderr and in the JSON, and hides neither 0 nor 6.
TEST_F(CliFiles, ARecordingThatCannotBeSavedDoesNotHideTheAdaptorsResult) {
  const struct {
    const char* scenario;
    int exitCode;
    const char* result;
  } rows[] = {{"kts260", 0, "complete"}, {"kts260-unplug", 6, "fail"}};
  for (const auto& row : rows) {
    const std::string record = dir_ + "record.json";
    const ToolRun ran = Run(std::string("update --yes --no-backup --json --simulate ") + row.scenario +
                                " --record " + record,
                            "trap '' XFSZ; ulimit -f 40;");
    EXPECT_EQ(ran.exitCode, row.exitCode) << row.scenario << "\n" << ran.err;
    EXPECT_THAT(ran.err, HasSubstr("--record " + record + " was not saved")) << row.scenario;
    ASSERT_NO_THROW(ran.Json()) << ran.out;
    EXPECT_EQ(ran.Json()["result"], row.result);
    EXPECT_EQ(ran.Json()["unsavedFiles"][0]["file"], record);
    EXPECT_FALSE(fs::exists(record));
  }
}

// Run as root with a HOME that belongs to a user (sudo that keeps HOME): everything the tool
// makes there belongs to that user, so the user's own runs later find their folders usable.
TEST_F(CliFiles, RootWithAUsersHomeLeavesNothingOfRootsThere) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::string home = dir_ + "home";
  fs::create_directory(home);
  ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
  const std::string env = "unset XDG_DATA_HOME; HOME=" + home;
  const std::string keep = " --simulate kts260 --record " + home + "/r.json --simulate-state " + home + "/s.json";
  for (const std::string& arguments : {"backup" + keep, "update --yes" + keep}) {
    const std::string line = env + " " + CORVANE_UPDATE_BINARY + " " + arguments + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(line.c_str()), 0) << arguments;
  }
  int made = 0;
  for (const auto& entry : fs::recursive_directory_iterator(home)) {
    struct stat info {};
    ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u) << entry.path();
    EXPECT_EQ(info.st_mode & 0777, S_ISDIR(info.st_mode) ? 0700u : 0600u) << entry.path();
    ++made;
  }
  EXPECT_EQ(made, 9);  // .local, share, corvane-update, backups, simulated, two backups, r.json,
                      // s.json
}

}  // namespace
