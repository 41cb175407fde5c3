// The update verb in-process, where the port can pose as a real device's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

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

}  // namespace
}  // namespace corvane::app::cli
