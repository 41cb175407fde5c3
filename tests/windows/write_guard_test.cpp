// Through the emulated Windows: the machine kept awake for a write and put back as it was, the
// timer period raised for the prompt closing's short pauses and lowered on every way out, and the
// hidden window that refuses the session's end while the command line writes.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "device/platform.h"
#include "device/windows/session_end_block.h"
#include "tests/app/form_fixture.h"
#include "tests/windows/emulated_stack.h"

namespace corvane::device::windows::testing {
namespace {

TEST(WinHostServicesWrite, KeepsTheSystemAwakeAndPutsBackWhatTheThreadHadBefore) {
  struct Row {
    const char* name;
    EXECUTION_STATE before;  // what the thread required before the write (0: nothing was set)
    bool refused;            // Windows answers NULL
    EXECUTION_STATE restore;
  };
  const Row rows[] = {
      {"nothing required before", 0, false, ES_CONTINUOUS},
      {"the display kept on before", ES_CONTINUOUS | ES_DISPLAY_REQUIRED, false,
       ES_CONTINUOUS | ES_DISPLAY_REQUIRED},
      {"the call refused", 0, true, ES_CONTINUOUS},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EmulatedStack stack;
    if (row.before != 0) stack.api.SetThreadExecutionState(row.before);
    stack.api.ClearLog();
    stack.api.Configure().executionStateFails = row.refused;
    EXECUTION_STATE during = 0;
    {
      AdaptorWriteScope writing(stack.host);
      during = stack.api.ExecutionState();
    }
    EXPECT_EQ(stack.api.Log().executionStates,
              (std::vector<EXECUTION_STATE>{ES_CONTINUOUS | ES_SYSTEM_REQUIRED, row.restore}));
    if (!row.refused) {
      EXPECT_EQ(during, EXECUTION_STATE{ES_CONTINUOUS | ES_SYSTEM_REQUIRED});
    }
    // Nothing of the write's requirement is left behind.
    EXPECT_EQ(stack.api.ExecutionState() & ~ES_CONTINUOUS, row.before & ~ES_CONTINUOUS);
  }
}

// The window's guard passes the write on to the host it wraps, whose part is the keep-awake (its
// own part, the reason and the window's answer, is checked on a real window: tests/win32).
TEST(WindowWriteGuard, PassesTheWriteOnToTheHostItWraps) {
  EmulatedStack stack;
  WindowWriteGuard guard(stack.api, stack.host, reinterpret_cast<HWND>(0x3C0));
  {
    AdaptorWriteScope writing(guard);
    EXPECT_TRUE(guard.Writing());
    EXPECT_EQ(stack.api.ExecutionState(), EXECUTION_STATE{ES_CONTINUOUS | ES_SYSTEM_REQUIRED});
  }
  EXPECT_FALSE(guard.Writing());
  EXPECT_EQ(stack.api.ExecutionState(), EXECUTION_STATE{ES_CONTINUOUS});
}

// A desktop whose prompt search can fail in a given round.
class PromptView : public app::testing::RecordingView {
 public:
  using RecordingView::RecordingView;
  int failAtRound = -1;
  bool CloseSystemPromptDialog() override {
    if (promptCloses == failAtRound) throw std::runtime_error("the prompt search failed");
    return RecordingView::CloseSystemPromptDialog();
  }
};

TEST(PromptClosingPauses, RunWithTheTimerPeriodRaisedAndLowerItOnEveryWayOut) {
  using Call = std::pair<bool, MMRESULT>;  // begin (else end), what Windows answered
  struct Row {
    const char* name;
    bool windows10;
    bool refused;
    int failAtRound;
    int raisedPauses;  // pauses taken while the period was raised
    std::vector<Call> periodCalls;
  };
  const Row rows[] = {
      {"a desktop without the prompt", false, false, -1, 0, {}},
      {"all rounds", true, false, -1, 101, {{true, TIMERR_NOERROR}, {false, TIMERR_NOERROR}}},
      {"the period refused: never lowered", true, true, -1, 0, {{true, TIMERR_NOCANDO}}},
      {"the prompt search fails in round 50", true, false, 50, 50,
       {{true, TIMERR_NOERROR}, {false, TIMERR_NOERROR}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::VirtualClock clock;
    sim::SimWorld world(
        sim::ScenarioOf({app::testing::Adaptor(sim::ChipFamily::Kts260, {234, 1, 0, 1})}), clock);
    EmulatedStack stack;
    int raisedPauses = 0;
    stack.api.Configure().onSleep = [&](DWORD ms) {
      clock.AdvanceMs(ms);
      if (stack.api.RaisedTimerPeriods() > 0) ++raisedPauses;
    };
    stack.api.Configure().timerPeriodRefused = row.refused;
    ScopedPlatform platform(world.MakePlatform(stack.host));
    PromptView view(clock);
    view.windows10 = row.windows10;
    view.failAtRound = row.failAtRound;
    app::TForm1 form(view);
    view.Attach(form);
    if (row.failAtRound >= 0) {
      EXPECT_THROW(form.Start(), std::runtime_error);  // the scan goes on into the check
    } else {
      form.Start();
    }
    EXPECT_EQ(raisedPauses, row.raisedPauses);
    std::vector<Call> calls;
    for (const auto& call : stack.api.Log().timerPeriods) {
      EXPECT_EQ(call.period, 1u);
      calls.emplace_back(call.begin, call.result);
    }
    EXPECT_EQ(calls, row.periodCalls);
    EXPECT_EQ(stack.api.RaisedTimerPeriods(), 0);
  }
}

TEST(HiddenSessionEndBlock, RefusesTheSessionsEndAndNamesTheReasonUntilItGoes) {
  EmulatedStack stack;
  HWND window = nullptr;
  {
    HiddenSessionEndBlock block(stack.api);
    window = block.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(::GetAncestor(window, GA_ROOT), window) << "only top-level windows are asked";
    EXPECT_FALSE(::IsWindowVisible(window));
    // Answered by the block's own thread while this one waits.
    EXPECT_EQ(::SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    EXPECT_EQ(stack.api.ShutdownReasons().at(window),
              L"Updating the adaptor's firmware. Do not unplug it.");
  }
  EXPECT_FALSE(::IsWindow(window));
  // Made and dropped on the thread that owns the window: Windows refuses any other.
  const auto& calls = stack.api.Log().shutdownReasons;
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].result, TRUE);
  EXPECT_EQ(calls[1].result, TRUE);
  EXPECT_TRUE(stack.api.ShutdownReasons().empty());
}

}  // namespace
}  // namespace corvane::device::windows::testing
