// The update verb in-process, where the port can pose as a real device's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "app/cli/backend.h"
#include "app/cli/exit_codes.h"
#include "app/cli/verbs.h"
#include "firmware/carried_images.h"

namespace corvane::app::cli {
namespace {

class CapturedStreams {
 public:
  CapturedStreams() : out_(std::cout.rdbuf(outText.rdbuf())), err_(std::cerr.rdbuf(errText.rdbuf())) {}
  ~CapturedStreams() {
    std::cout.rdbuf(out_);
    std::cerr.rdbuf(err_);
  }
  std::ostringstream outText, errText;

 private:
  std::streambuf* out_;
  std::streambuf* err_;
};

// A build with placeholder images must not write them into an adaptor that is not virtual, even
// with --yes; the same adaptor as a virtual one is updated, so the refusal is the guard's doing.
TEST(CliUpdateGuard, PlaceholderImagesNeverReachARealAdaptor) {
  if (!firmware::CarriesPlaceholderImages()) GTEST_SKIP() << "this build carries the maker's images";
  struct Case {
    bool posesAsReal;
    int exitCode;
    bool written;
  };
  for (const Case c : {Case{true, kExitRefused, false}, Case{false, kExitOk, true}}) {
    CliOptions options;
    options.verb = Verb::Update;
    options.yes = true;
    options.simulate = "kts260";
    options.simulationPosesAsReal = c.posesAsReal;
    options.noBackup = true;  // the guard is what is under test; no backup into the user's folder
    std::string error;
    auto backend = Backend::Create(options, error);
    ASSERT_TRUE(backend) << error;
    CapturedStreams streams;
    EXPECT_EQ(RunUpdate(options, *backend), c.exitCode);
    bool written = false;
    for (const auto& entry : backend->World()->Trace()) {
      written = written || (!entry.cdb.empty() && entry.cdb[0] == 0x3B);
    }
    EXPECT_EQ(written, c.written);
    if (c.posesAsReal) {
      EXPECT_THAT(streams.errText.str(), ::testing::HasSubstr("placeholder firmware images"));
      EXPECT_THAT(streams.errText.str(), ::testing::HasSubstr("CORVANE_FIRMWARE_DIR"));
    }
  }
}

bool SentAWrite(const sim::SimWorld& world) {
  for (const auto& entry : world.Trace()) {
    if (entry.cdb.empty()) continue;
    if (entry.cdb[0] == 0x3B) return true;                                          // WRITE BUFFER
    if (entry.cdb[0] == 0xDF && entry.cdb.size() == 12 && entry.cdb[11] == 0xFB) return true;  // chip memory
  }
  return false;
}

// The backup comes before the first write: when one of its reads fails, the adaptor receives no
// write command at all, whichever read it was, and no backup file is left behind.
TEST(CliUpdateGuard, ABackupWhoseReadsFailStopsTheUpdateBeforeAnyWrite) {
  const std::string dir = ::testing::TempDir() + "cli_guard_" + std::to_string(getpid());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  ASSERT_EQ(::setenv("XDG_DATA_HOME", dir.c_str(), 1), 0);
  struct Case {
    const char* name;
    const char* fault;  // on an outdated KTS260; the check before sends no READ BUFFER and one NVRAM read
    int exitCode;
  };
  const Case cases[] = {
      {"none", "", kExitOk},
      {"descriptor", R"({"command": "ReadBuffer", "nth": 1, "effect": "check-condition"})", kExitRefused},
      {"flash block", R"({"command": "ReadBuffer", "nth": 30, "effect": "check-condition"})", kExitRefused},
      {"unplugged mid-read", R"({"command": "ReadBuffer", "nth": 12, "effect": "unplug"})", kExitRefused},
      {"nvram", R"({"command": "ReadChipMemory", "nth": 2, "effect": "check-condition"})", kExitRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string scenario = dir + "/scenario.json";
    std::ofstream(scenario) << R"({"devices": [{"chip": "KTS260", "firmware": [0, 1, 0, 8], "faults": [)"
                            << c.fault << "]}]}";
    CliOptions options;
    options.verb = Verb::Update;
    options.yes = true;
    options.simulateFile = scenario;
    std::string error;
    auto backend = Backend::Create(options, error);
    ASSERT_TRUE(backend) << error;
    CapturedStreams streams;
    EXPECT_EQ(RunUpdate(options, *backend), c.exitCode) << streams.errText.str();
    EXPECT_EQ(SentAWrite(*backend->World()), c.exitCode == kExitOk);
    const std::filesystem::path backups = dir + "/corvane-update/backups";
    const bool saved = std::filesystem::exists(backups) && !std::filesystem::is_empty(backups);
    EXPECT_EQ(saved, c.exitCode == kExitOk);
    if (c.exitCode != kExitOk) {
      EXPECT_THAT(streams.errText.str(), ::testing::HasSubstr("the backup could not be made"));
    }
    std::filesystem::remove_all(backups);
  }
  ::unsetenv("XDG_DATA_HOME");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace corvane::app::cli
