// The update verb in-process, where the port can pose as a real device's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/cli/backend.h"
#include "app/cli/exit_codes.h"
#include "app/cli/verbs.h"
#include "firmware/carried_images.h"
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

}  // namespace
}  // namespace corvane::app::cli
