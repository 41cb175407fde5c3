// The command line's guard around a write on Windows, with the real calls (under Wine): the
// console events held off or held on, the hidden window that refuses the session's end, and the
// system kept awake through the real devices' host services.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "app/cli/backend.h"
#include "app/cli/terminal.h"
#include "app/cli/terminal_windows.h"
#include "device/platform.h"

namespace corvane::app::cli {
namespace {

TEST(ConsoleShield, HoldsOnThroughTheEndsAConsoleCannotRefuseUntilTheWriteIsOver) {
  struct Row {
    DWORD event;
    bool holdsOn;  // returns only once the shield is gone
  };
  const Row rows[] = {{CTRL_C_EVENT, false},
                      {CTRL_BREAK_EVENT, false},
                      {CTRL_CLOSE_EVENT, true},
                      {CTRL_LOGOFF_EVENT, true},
                      {CTRL_SHUTDOWN_EVENT, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.event);
    std::optional<InterruptShield> shield(std::in_place);
    HWND hidden = ::FindWindowA("CorvaneSessionEndBlock", nullptr);
    ASSERT_NE(hidden, nullptr);
    EXPECT_EQ(::SendMessageA(hidden, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);

    std::atomic<bool> returned{false};
    BOOL answer = FALSE;
    // Windows calls the handler on a thread of its own.
    std::thread windows([&] {
      answer = HoldOffConsoleEvent(row.event);
      returned = true;
    });
    if (row.holdsOn) {
      while (ConsoleEventsHeld() == 0 && !returned) std::this_thread::yield();
      EXPECT_FALSE(returned) << "returned while the adaptor is written";
      shield.reset();
    }
    windows.join();
    // Ctrl-C or Ctrl-Break held: the program ends once the result is out.
    if (!row.holdsOn) {
      EXPECT_TRUE(shield->Lift());
    }
    shield.reset();
    EXPECT_EQ(answer, TRUE);
    EXPECT_EQ(ConsoleEventsHeld(), 0);
    EXPECT_EQ(::FindWindowA("CorvaneSessionEndBlock", nullptr), nullptr);
  }
}

TEST(CliHostOnWindows, KeepsTheSystemAwakeWhileARealAdaptorIsWritten) {
  CliOptions options;  // this computer's devices
  std::string error;
  auto backend = Backend::Create(options, error);
  ASSERT_NE(backend, nullptr) << error;
  // Asking for what is already set changes nothing and answers what the thread has.
  ::SetThreadExecutionState(ES_CONTINUOUS);
  EXECUTION_STATE during = 0;
  {
    device::AdaptorWriteScope writing(device::ActiveHost());
    during = ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  }
  EXPECT_EQ(during, EXECUTION_STATE{ES_CONTINUOUS | ES_SYSTEM_REQUIRED});
  EXPECT_EQ(::SetThreadExecutionState(ES_CONTINUOUS), EXECUTION_STATE{ES_CONTINUOUS});
}

}  // namespace
}  // namespace corvane::app::cli
