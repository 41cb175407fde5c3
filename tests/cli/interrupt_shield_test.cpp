#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "app/cli/terminal.h"

namespace corvane::app::cli {
namespace {

bool Blocked(int signal) {
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  return sigismember(&mask, signal) == 1;
}

// What would end or stop the program, sent while an adaptor is written, to the process (as a
// terminal or kill does) or to the writing thread alone: the program goes on, the device thread is
// never interrupted, and Lift() tells what was asked once the result is out. (A real stop is shown
// by the tests that run the program.)
TEST(InterruptShield, HeldSignalsAreActedOnOnlyWhenLifted) {
  struct Case {
    int signal;  // 0: none
    bool toThisThread;
    bool ignoredBefore;  // as under nohup
    bool ends;
  };
  const Case cases[] = {
      {SIGINT, false, false, true},  {SIGTERM, true, false, true},  {SIGHUP, false, false, true},
      {SIGQUIT, false, false, true}, {SIGHUP, false, true, false},  {SIGTSTP, false, true, false},
      {SIGTTOU, true, true, false},  {0, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signal);
    sigset_t maskBefore;
    pthread_sigmask(SIG_SETMASK, nullptr, &maskBefore);
    struct sigaction previous {};
    if (c.ignoredBefore) {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      sigaction(c.signal, &ignore, &previous);
    }
    bool ends = false;
    {
      InterruptShield shield;
      EXPECT_TRUE(Blocked(SIGINT) && Blocked(SIGTSTP) && Blocked(SIGHUP));
      if (c.signal != 0) {
        ASSERT_EQ(c.toThisThread ? raise(c.signal) : kill(getpid(), c.signal), 0);
      }
      ends = shield.Lift();
      EXPECT_FALSE(shield.Lift());  // acted on once
    }
    EXPECT_EQ(ends, c.ends);
    // Asked to end, the program stays shielded while it saves its files and exits.
    EXPECT_EQ(Blocked(SIGINT), c.ends);
    pthread_sigmask(SIG_SETMASK, &maskBefore, nullptr);
    if (c.ignoredBefore) sigaction(c.signal, &previous, nullptr);
  }
}

}  // namespace
}  // namespace corvane::app::cli
