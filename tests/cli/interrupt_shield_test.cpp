#include <gtest/gtest.h>
#include <signal.h>

#include "app/cli/terminal.h"

namespace corvane::app::cli {
namespace {

// Ctrl-C while the flash is written must not end the program; afterwards it ends it again.
TEST(InterruptShield, SignalsDuringTheWriteDoNotEndTheProgramAndHandlingIsRestored) {
  struct sigaction before {};
  sigaction(SIGINT, nullptr, &before);
  {
    InterruptShield shield;
    ASSERT_EQ(raise(SIGINT), 0);
    ASSERT_EQ(raise(SIGTERM), 0);
  }
  struct sigaction after {};
  sigaction(SIGINT, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace corvane::app::cli
