// The writing verbs in-process, where the port can pose as a real device's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/cli/backend.h"
#include "app/cli/backup_files.h"
#include "app/cli/exit_codes.h"
#include "app/cli/verbs.h"
#include "device/file_io.h"
#include "firmware/adaptor_backup.h"
#include "firmware/carried_images.h"
#include "sim/bridge_model.h"
#include "tests/linux/private_bus.h"

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

bool WroteToAdaptor(Backend& backend) {
  for (const auto& entry : backend.World()->Trace()) {
    if (!entry.cdb.empty() && entry.cdb[0] == 0x3B) return true;
    if (entry.cdb.size() == 12 && entry.cdb[0] == 0xDF && entry.cdb[11] == 0xFB) return true;
  }
  return false;
}

// One run of a verb in this process; the world it ran on stays for the test to look at.
struct VerbRun {
  std::unique_ptr<Backend> backend;
  int exitCode = -1;
  std::string out, err;
};

VerbRun RunVerb(CliOptions options, int (*verb)(const CliOptions&, Backend&)) {
  VerbRun run;
  options.yes = true;
  std::string error;
  run.backend = Backend::Create(options, error);
  EXPECT_TRUE(run.backend) << error;
  if (!run.backend) return run;
  CapturedStreams streams;
  run.exitCode = verb(options, *run.backend);
  run.out = streams.outText.str();
  run.err = streams.errText.str();
  return run;
}

// Where a backup comes from decides where it may go: a simulated adaptor's never reaches a real
// one, a real one's goes onto a simulated adaptor with a note, another adaptor's only by name and
// then without its NVRAM block. Before a restore writes, the adaptor's contents are saved.
TEST(CliRestoreGuard, BackupsGoOnlyWhereTheyBelong) {
  const std::string dir = ::testing::TempDir() + "restore_guard_" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
  std::ofstream(dir + "/other.json") << R"({"devices": [{"bus": "usb", "chip": "KTS260",
      "firmware": [0, 1, 0, 8], "nvram": {"field2": "NVMe Pro"}}]})";
  // A backup of the kts260 adaptor, as a simulated or a real one, or of the other adaptor.
  const auto take = [&](const std::string& file, bool posesAsReal, bool other) {
    CliOptions options;
    options.verb = Verb::Backup;
    options.output = dir + "/" + file;
    (other ? options.simulateFile : options.simulate) = other ? dir + "/other.json" : "kts260";
    options.simulationPosesAsReal = posesAsReal;
    ASSERT_EQ(RunVerb(options, RunBackup).exitCode, kExitOk) << file;
  };
  take("simulated.cvbackup", false, false);
  take("real.cvbackup", true, false);
  take("other.cvbackup", false, true);

  struct Case {
    const char* file;
    bool posesAsReal;
    bool fromOtherAdaptor;
    int exitCode;
    const char* said;
    bool nvramWritten;
  };
  const Case cases[] = {
      {"simulated.cvbackup", true, false, kExitRefused, "taken from a simulated adaptor", false},
      {"other.cvbackup", false, false, kExitRefused, "taken from another adaptor", false},
      {"other.cvbackup", false, true, kExitOk, "note: only the backup's firmware area", false},
      {"real.cvbackup", false, false, kExitOk, "note: the backup was taken from a real adaptor",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::filesystem::remove_all(dir + "/corvane-update");
    CliOptions options;
    options.verb = Verb::Restore;
    options.simulate = "kts260-current";
    options.simulationPosesAsReal = c.posesAsReal;
    options.fromOtherAdaptor = c.fromOtherAdaptor;
    options.backupFile = dir + "/" + c.file;
    VerbRun run = RunVerb(options, RunRestore);
    ASSERT_TRUE(run.backend);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    EXPECT_THAT(run.out + run.err, ::testing::HasSubstr(c.said));
    EXPECT_EQ(WroteToAdaptor(*run.backend), c.exitCode == kExitOk);
    if (c.exitCode != kExitOk) continue;

    std::vector<std::uint8_t> bytes;
    std::string error;
    firmware::AdaptorBackup restored, before;
    ASSERT_EQ(device::ReadFileBounded(*options.backupFile, {kMaxBackupFileBytes, "a backup"}, bytes, error),
              device::FileRead::Read) << error;
    ASSERT_EQ(firmware::DecodeBackup(bytes, restored), "");
    const auto flash = run.backend->World()->Bridge(0).Flash();
    const std::size_t area = restored.firmwareArea.size();
    EXPECT_TRUE(std::ranges::equal(restored.firmwareArea, flash.first(area)));
    const auto nvram = run.backend->World()->Bridge(0).Nvram();
    EXPECT_EQ(std::equal(nvram.begin(), nvram.end(), restored.nvram.begin()), c.nvramWritten);

    // The adaptor's contents before the restore: the carried firmware it ran, in the folder of
    // simulated adaptors' backups, named in the output.
    const std::string folder = dir + "/corvane-update/backups/simulated";
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    const auto saved = std::filesystem::directory_iterator(folder)->path().string();
    EXPECT_THAT(run.out, ::testing::HasSubstr("backup: " + saved));
    ASSERT_EQ(device::ReadFileBounded(saved, {kMaxBackupFileBytes, "a backup"}, bytes, error),
              device::FileRead::Read) << error;
    ASSERT_EQ(firmware::DecodeBackup(bytes, before), "");
    const auto carried = sim::CarriedFirmwareArea(sim::ChipFamily::Kts260);
    EXPECT_TRUE(std::equal(carried.begin(), carried.end(), before.firmwareArea.begin(),
                           before.firmwareArea.end()));
  }
  ::unsetenv("XDG_DATA_HOME");
  std::filesystem::remove_all(dir);
}

// The logind lock of an update, against a stand-in logind on a private bus: asked for before the
// first block goes down, held through the last read-back, given back afterwards, also when the
// update fails; without logind the update goes on and says so.
TEST(CliUpdateGuard, ShutdownLockSpansTheWriteFromFirstBlockToLastReadBack) {
  const std::string lostNvramWrite = ::testing::TempDir() + "lost_nvram_" + std::to_string(getpid());
  std::ofstream(lostNvramWrite) << R"({"devices": [{"bus": "usb", "chip": "KTS260",
      "firmware": [0, 1, 0, 8], "faults": [{"command": "WriteChipMemory", "effect": "ignore"}]}]})";
  struct Case {
    bool failing;  // the NVRAM write is lost: "Update Fail"
    bool logind;
    int exitCode;
  };
  for (const Case c : {Case{false, true, kExitOk}, Case{true, true, kExitUpdateFailed},
                       Case{false, false, kExitOk}}) {
    SCOPED_TRACE(::testing::Message() << "failing " << c.failing << ", logind " << c.logind);
    testing::PrivateBus bus(c.logind ? std::vector<std::string>{"--login1"} : std::vector<std::string>{});
    CliOptions options;
    options.verb = Verb::Update;
    options.yes = true;
    options.noBackup = true;
    if (c.failing) {
      options.simulateFile = lostNvramWrite;
    } else {
      options.simulate = "kts260";
    }
    std::string error;
    auto backend = Backend::Create(options, error);
    ASSERT_TRUE(backend) << error;
    int blocks = 0;
    bool nvramWritten = false, readBackSeen = false;
    std::uint32_t heldAtFirstBlock = 0, heldAtLastReadBack = 0;
    backend->World()->SetTraceSink([&](const device::TraceEntry& entry) {
      const auto& cdb = entry.cdb;
      if (cdb.size() == 10 && cdb[0] == 0x3B && ++blocks == 1) heldAtFirstBlock = bus.HeldNow().logind;
      if (cdb.size() != 12 || cdb[0] != 0xDF) return;
      if (cdb[1] == 0x01 && cdb[11] == 0xFB) nvramWritten = true;
      if (cdb[1] == 0x10 && cdb[11] == 0xFA && nvramWritten && !readBackSeen) {
        readBackSeen = true;  // the NVRAM block read again: the run's last command
        heldAtLastReadBack = bus.HeldNow().logind;
      }
    });
    CapturedStreams streams;
    EXPECT_EQ(RunUpdate(options, *backend), c.exitCode);
    EXPECT_EQ(blocks, 65);
    EXPECT_TRUE(readBackSeen);
    EXPECT_EQ(heldAtFirstBlock, c.logind ? 1u : 0u);
    EXPECT_EQ(heldAtLastReadBack, c.logind ? 1u : 0u);
    EXPECT_EQ(bus.HeldNow(), testing::PrivateBus::Held{});
    if (c.logind) {
      EXPECT_THAT(bus.Calls(), ::testing::ElementsAre("login1 shutdown:sleep:idle|corvane-update|"
                                                      "Writing the adaptor's firmware|block"));
      EXPECT_THAT(streams.errText.str(), ::testing::Not(::testing::HasSubstr("no lock")));
    } else {
      EXPECT_THAT(streams.errText.str(),
                  ::testing::HasSubstr("no lock against shutdown and sleep could be taken (logind: "
                                       "org.freedesktop.DBus.Error.ServiceUnknown)"));
    }
  }
  std::remove(lostNvramWrite.c_str());
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
    EXPECT_EQ(WroteToAdaptor(*backend), c.exitCode == kExitOk);
    const std::filesystem::path backups = dir + "/corvane-update/backups";
    bool saved = false;
    if (std::filesystem::exists(backups)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(backups)) {
        saved = saved || entry.is_regular_file();
      }
    }
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
