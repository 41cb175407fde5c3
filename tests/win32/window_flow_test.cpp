// The window on virtual adaptors: what the first view shows, the click that runs the update, the
// message dispatch of timer, device-change and animation messages, the error box, and the order
// of the teardown.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/form.h"
#include "app/form_texts.h"
#include "device/device_events.h"
#include "device/windows/emulated_win_api.h"
#include "tests/win32/window_fixture.h"

namespace corvane::app::win32::testing {
namespace {

// A platform whose disk list fails by throwing.
class ThrowingDisks : public device::DiskSource {
 public:
  bool ListDiskInterfaces(std::vector<device::DiskInterface>&) override { throw std::runtime_error("no disk list"); }
};

// A port with no device behind it, for an emulated Windows that only answers desktop calls.
class NoDevicePort : public device::ScsiPort {
 public:
  device::ScsiOutcome Execute(std::string_view, const device::ScsiRequest&) override { return {}; }
};

struct StartCase {
  const char* scenario;
  std::string_view status;
  std::string_view picture;
  bool clickable;
};

TEST(Win32Flow, FirstScanResultIsOnScreenBeforeTheWindowFirstShows) {
  const StartCase cases[] = {
      {"none", kStatusNoDevice, kPictureCross, false},
      {"kts210-current", kStatusCurrent, kPictureGood, false},
      {"kts210", kStatusOfferSata, kPictureUpdate, true},
      {"kts260", kStatusOfferNvme, kPictureUpdate, true},
      {"two", kStatusSeveral, kPictureCross, false},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.scenario);
    SimWindow sim(c.scenario);
    sim.window.Start();
    EXPECT_FALSE(::IsWindowVisible(sim.window.View().Window()));
    EXPECT_EQ(sim.StatusText(), std::string(c.status));
    EXPECT_EQ(sim.StatusEnabled(), c.clickable);
    EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image3), c.picture);
    EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image1), kPictureBackground);
    EXPECT_TRUE(sim.Shown(ControlId::Image3));
    EXPECT_FALSE(sim.Shown(ControlId::Image2));
    EXPECT_FALSE(sim.Shown(ControlId::UpdateProgressBar));
    char caption[64] = {};
    ::GetWindowTextA(sim.window.View().Window(), caption, sizeof caption);
    EXPECT_EQ(std::string(caption), std::string(kWindowCaption));
    EXPECT_TRUE(sim.boxes.empty());
  }
}

TEST(Win32Flow, OneClickOnTheOfferRunsOneUpdateToItsEnd) {
  SimWindow sim("kts210");
  sim.window.Start();
  int progressShownAt = -1;
  bool sawUpdating = false;
  // Every command of the run: the progress bar is on screen and the status says so.
  sim.session.World().SetTraceSink([&](const device::TraceEntry&) {
    if (sim.StatusText() != kStatusUpdating) return;
    sawUpdating = true;
    EXPECT_FALSE(sim.StatusEnabled());
    if (progressShownAt < 0 && sim.Shown(ControlId::UpdateProgressBar)) {
      progressShownAt = static_cast<int>(::SendMessageA(sim.Control(ControlId::UpdateProgressBar), PBM_GETPOS, 0, 0));
    }
  });
  sim.ClickStatus();
  sim.session.World().SetTraceSink({});
  EXPECT_TRUE(sawUpdating);
  EXPECT_GE(progressShownAt, 0);
  EXPECT_EQ(sim.StatusText(), std::string(kStatusUpdateComplete));
  EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image3), kPictureGood);
  EXPECT_FALSE(sim.StatusEnabled());
  EXPECT_EQ(sim.window.Form().LastRun().outcome, RunOutcome::Complete);
  // The label is disabled now: a second click starts nothing.
  sim.ClickStatus();
  EXPECT_EQ(sim.StatusText(), std::string(kStatusUpdateComplete));
}

TEST(Win32Flow, AClosePostedDuringTheRunKeepsTheWindowUntilTheResultIsShown) {
  SimWindow sim("kts210");
  sim.window.Start();
  HWND window = sim.window.View().Window();
  bool posted = false;
  bool destroyedDuringRun = false;
  sim.session.World().SetTraceSink([&](const device::TraceEntry&) {
    if (sim.StatusText() != kStatusUpdating) return;
    // As the close box does it; handled when the run next lets messages through.
    if (!posted) ::PostMessageA(window, WM_CLOSE, 0, 0);
    posted = true;
    destroyedDuringRun = destroyedDuringRun || ::IsWindow(window) == FALSE;
  });
  sim.ClickStatus();
  sim.session.World().SetTraceSink({});
  EXPECT_TRUE(posted);
  EXPECT_FALSE(destroyedDuringRun);
  ASSERT_EQ(sim.window.View().Window(), window);
  EXPECT_EQ(sim.StatusText(), std::string(kStatusUpdateComplete));
  // The kept request is carried out on the close timer's tick.
  sim.window.Form().WMTimer(kCloseTimerId);
  sim.window.View().ProcessPendingMessages();
  EXPECT_EQ(sim.window.View().Window(), nullptr);
}

TEST(Win32Flow, DeviceChangeMessagesArmTheRescanTimerAndItsTickRescansOnce) {
  SimWindow sim("kts210-current");
  sim.window.Start();
  HWND window = sim.window.View().Window();
  struct Case {
    std::uint32_t code;
    bool arms;  // timer 101 is set afterwards
  };
  const Case cases[] = {
      {device::kDbtDeviceArrival, false},
      {0x8001, false},  // DBT_DEVICEQUERYREMOVE
      {device::kDbtDevNodesChanged, true},
      {device::kDbtDeviceRemoveComplete, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    // The watch takes the whole message and answers 0.
    EXPECT_EQ(::SendMessageA(window, WM_DEVICECHANGE, c.code, 0), 0);
    // KillTimer tells whether the window had the timer; the test takes it back off.
    EXPECT_EQ(::KillTimer(window, kRescanTimerId) != FALSE, c.arms);
  }
  const int scans = sim.window.Form().ScanCount();
  EXPECT_EQ(::SendMessageA(window, WM_TIMER, 7, 0), 0);
  EXPECT_EQ(sim.window.Form().ScanCount(), scans) << "another timer's tick changes nothing";
  ::SendMessageA(window, WM_DEVICECHANGE, device::kDbtDevNodesChanged, 0);
  EXPECT_EQ(::SendMessageA(window, WM_TIMER, kRescanTimerId, 0), 0);
  EXPECT_EQ(sim.window.Form().ScanCount(), scans + 1);
  EXPECT_FALSE(::KillTimer(window, kRescanTimerId)) << "the tick killed the timer: it fires once";
}

TEST(Win32Flow, AVirtualUnplugQueuesTheRemovalAndTheNodeChangeForTheWatch) {
  SimWindow sim("kts210-current");
  sim.window.Start();
  std::vector<std::uint32_t> seen;
  auto deliver = sim.window.View().handlers.deviceChange;
  sim.window.View().handlers.deviceChange = [&](std::uint32_t code) {
    seen.push_back(code);
    deliver(code);
  };
  sim.session.TogglePlug(0);
  EXPECT_TRUE(seen.empty()) << "queued, not handled inside the unplug";
  sim.window.View().ProcessPendingMessages();
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{device::kDbtDeviceRemoveComplete, device::kDbtDevNodesChanged}));
  sim.session.TogglePlug(0);
  sim.window.View().ProcessPendingMessages();
  EXPECT_EQ(seen.back(), device::kDbtDevNodesChanged);
  EXPECT_EQ(seen.size(), 3u);
}

TEST(Win32Flow, ReplugAfterTheUpdateRescansToUpToDate) {
  SimWindow sim("kts210");
  sim.window.Start();
  sim.ClickStatus();
  ASSERT_EQ(sim.StatusText(), std::string(kStatusUpdateComplete));
  sim.session.TogglePlug(0);
  sim.session.TogglePlug(0);
  // The demo posted the removal and node-change codes; the window handles them from its queue.
  sim.window.View().ProcessPendingMessages();
  ::SendMessageA(sim.window.View().Window(), WM_TIMER, kRescanTimerId, 0);
  EXPECT_EQ(sim.StatusText(), std::string(kStatusCurrent));
}

// A wait the test opens frame by frame, without real time.
class FrameGate {
 public:
  bool Wait(std::chrono::milliseconds period) {
    std::unique_lock lock(mutex_);
    periods_.push_back(period);
    wake_.wait(lock, [this] { return permits_ > 0 || stop_; });
    if (stop_) return true;
    --permits_;
    return false;
  }
  void Open() {
    std::lock_guard lock(mutex_);
    ++permits_;
    wake_.notify_all();
  }
  void Stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    wake_.notify_all();
  }
  // The periods the thread asked to wait, in order.
  std::vector<std::chrono::milliseconds> Periods() {
    std::lock_guard lock(mutex_);
    return periods_;
  }

 private:
  std::vector<std::chrono::milliseconds> periods_;
  std::mutex mutex_;
  std::condition_variable wake_;
  int permits_ = 0;
  bool stop_ = false;
};

// Pumps until `done` holds; the animation thread posts from its own thread.
template <typename Done>
bool PumpUntil(SimWindow& sim, Done done) {
  for (int round = 0; round < 200000 && !done(); ++round) {
    sim.window.View().ProcessPendingMessages();
    ::SwitchToThread();
  }
  return done();
}

TEST(Win32Flow, AnimationFramesArePostedInOrderAndDroppedAfterTheStop) {
  FrameGate gate;
  UpdaterWindow::Options options = NoAnimation();
  options.animate = true;
  options.animationWait = [&gate](std::chrono::milliseconds period) { return gate.Wait(period); };
  SimWindow sim("kts210", options);
  sim.window.Start();
  const char* expected[] = {"LOADING2", "LOADING3", "LOADING1", "LOADING2"};
  for (int frame = 0; frame < 4; ++frame) {
    SCOPED_TRACE(frame);
    if (frame > 0) gate.Open();
    ASSERT_TRUE(PumpUntil(sim, [&] {
      return sim.window.Animation()->FramesDelivered() == frame + 1 &&
             sim.window.View().PictureIn(ControlId::Image2) == expected[frame];
    }));
    BITMAP bitmap{};
    ::GetObjectA(sim.window.View().PictureBitmap(ControlId::Image2), sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 150);
    EXPECT_EQ(bitmap.bmHeight, 150);
  }
  // A frame still queued when the thread stops is not shown.
  ::PostMessageA(sim.window.View().Window(), kFrameMessage, 1, 0);
  gate.Stop();
  sim.window.StopAnimation();
  sim.window.View().ProcessPendingMessages();
  EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image2), "LOADING2");
  // The window's own options (only the wait is the test's) turn the frames every 500 ms.
  const std::vector<std::chrono::milliseconds> periods = gate.Periods();
  ASSERT_GE(periods.size(), 4u);
  for (const auto period : periods) EXPECT_EQ(period.count(), 500);
}

TEST(Win32Flow, AnExceptionEscapingTheWindowLogicReachesTheErrorBox) {
  SimWindow sim("kts210-current");
  sim.window.Start();
  // The scan's discovery throws.
  ThrowingDisks disks;
  device::Platform platform = device::ActivePlatform();
  platform.disks = &disks;
  device::ScopedPlatform failing(platform);
  ::SendMessageA(sim.window.View().Window(), WM_COMMAND, MAKEWPARAM(ControlIdOf(ControlId::btn_Refresh), BN_CLICKED),
                 reinterpret_cast<LPARAM>(sim.Control(ControlId::btn_Refresh)));
  ASSERT_EQ(sim.errors.size(), 1u);
  EXPECT_EQ(sim.errors[0], "no disk list");
  // The window is still there and answers the next message.
  EXPECT_TRUE(::IsWindow(sim.window.View().Window()));
  EXPECT_EQ(::SendMessageA(sim.window.View().Window(), WM_TIMER, 5, 0), 0);
}

// Presses OK on the application's error box from inside the box's own message loop: a thread
// timer is dispatched only by a loop that runs.
bool gErrorBoxFound = false;
VOID CALLBACK PressOkOnTheErrorBox(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = ::FindWindowA("#32770", std::string(kApplicationTitle).c_str());
  if (box == nullptr) return;
  gErrorBoxFound = true;
  ::PostMessageA(box, WM_COMMAND, IDOK, 0);
}

// What escapes the start-up once the main window exists reaches WinMain's error box: the window
// goes while its destroy handler can still reach the animation, and the box stays although the
// window's end has already asked the thread to quit.
TEST(Win32Flow, AStartUpThatThrowsEndsTheWindowInOrderAndShowsAnErrorBoxThatStays) {
  RecordingHost host;
  sim::DemoSession session(Scenario("kts210"), host, sim::DemoSession::Options{});
  device::ScopedPlatform guard(session.MakePlatform());
  ThrowingDisks disks;
  device::Platform failing = device::ActivePlatform();
  failing.disks = &disks;
  device::ScopedPlatform throwing(failing);

  FrameGate gate;
  UpdaterWindow::Options options = NoAnimation();
  options.animate = true;
  // Each copy of the wait holds the token: the window's options and the animation object's.
  auto token = std::make_shared<int>(0);
  const std::weak_ptr<int> copies = token;
  options.animationWait = [&gate, token](std::chrono::milliseconds period) { return gate.Wait(period); };
  token.reset();
  std::optional<UpdaterWindow> window(std::in_place, std::move(options));
  bool animationThereAtDestroy = false;
  auto destroying = window->View().handlers.destroying;
  window->View().handlers.destroying = [&copies, &animationThereAtDestroy, destroying] {
    animationThereAtDestroy = copies.use_count() == 2;
    destroying();
  };
  std::string what;
  try {
    window->Start();
  } catch (const std::exception& error) {
    what = error.what();
    gate.Stop();
    window.reset();  // as the unwinding out of WinMain's start-up does
  }
  ASSERT_EQ(what, "no disk list");
  EXPECT_TRUE(animationThereAtDestroy);

  gErrorBoxFound = false;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, PressOkOnTheErrorBox);
  ShowHandlerError(nullptr, what.c_str());
  ::KillTimer(nullptr, timer);
  EXPECT_TRUE(gErrorBoxFound) << "the box closed before its loop ran";
  MSG quit;
  EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit is kept for the loop after it";
  DrainQueue();
}

TEST(Win32Flow, TheSessionsEndIsRefusedWithItsReasonOnlyWhileTheAdaptorIsWritten) {
  struct Row {
    const char* scenario;
    std::string_view status;
  };
  const Row rows[] = {{"kts210", kStatusUpdateComplete}, {"kts260-unplug", kStatusUpdateFail}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.scenario);
    NoDevicePort nothing;
    device::windows::EmulatedWinApi desktop([] { return std::vector<device::windows::EmulatedDisk>{}; }, nothing);
    UpdaterWindow::Options options = NoAnimation();
    options.desktopApi = &desktop;
    SimWindow sim(row.scenario, options);
    sim.window.Start();
    HWND window = sim.window.View().Window();
    EXPECT_EQ(::SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    int refusals = 0;
    int grants = 0;
    bool reasonShown = true;
    sim.session.World().SetTraceSink([&](const device::TraceEntry& entry) {
      if (entry.direction != device::DataDirection::Out) return;
      const LRESULT answer = ::SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
      (answer == FALSE ? refusals : grants) += 1;
      const auto& reasons = desktop.ShutdownReasons();
      reasonShown = reasonShown && reasons.count(window) == 1 &&
                    reasons.at(window) == L"Updating the adaptor's firmware. Do not unplug it.";
    });
    sim.ClickStatus();
    sim.session.World().SetTraceSink({});
    EXPECT_EQ(sim.StatusText(), std::string(row.status));
    EXPECT_GT(refusals, 0);
    EXPECT_EQ(grants, 0);
    EXPECT_TRUE(reasonShown);
    EXPECT_EQ(::SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_TRUE(desktop.ShutdownReasons().empty());
    EXPECT_EQ(desktop.Log().shutdownReasons.size(), 2u);
  }
}

TEST(Win32Flow, ExitButtonClosesTheWindowAfterStoppingTheAnimationAndTheRegistration) {
  FrameGate gate;
  UpdaterWindow::Options options = NoAnimation();
  options.animate = true;
  options.animationWait = [&gate](std::chrono::milliseconds period) { return gate.Wait(period); };
  SimWindow sim("none", options);
  sim.window.Start();
  EXPECT_NE(sim.window.View().DeviceNotification(), nullptr);
  bool animationStoppedFirst = false;
  bool registrationStillHeld = false;
  auto destroying = sim.window.View().handlers.destroying;
  sim.window.View().handlers.destroying = [&] {
    gate.Stop();  // the stepped wait only ends when the test lets it
    registrationStillHeld = sim.window.View().DeviceNotification() != nullptr;
    destroying();
    // Joined: Stop returned, so no frame can be posted any more.
    animationStoppedFirst = ::IsWindow(sim.Control(ControlId::Image2)) != FALSE;
  };
  ::SendMessageA(sim.Control(ControlId::btn_Exit), BM_CLICK, 0, 0);
  sim.window.View().ProcessPendingMessages();
  EXPECT_TRUE(animationStoppedFirst);
  EXPECT_TRUE(registrationStillHeld);
  EXPECT_EQ(sim.window.View().Window(), nullptr);
  EXPECT_EQ(sim.window.View().DeviceNotification(), nullptr);
}

}  // namespace
}  // namespace corvane::app::win32::testing
