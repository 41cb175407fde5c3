// The window on virtual adaptors from start-up to the end of an update run and a re-plug: what it
// shows at each step, driven by the user's click on the status line. Each state is saved as a
// screenshot for people to look at (see docs/screenshots.md).
#include <QDir>
#include <QTest>

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include <string>

#include <gtest/gtest.h>

#include "app/form.h"
#include "tests/qt/sim_window.h"

namespace corvane::app::qt::testing {
namespace {

using namespace ::corvane::device;

using app::ControlId;

QString ScreenshotDir() {
  const QByteArray fromEnv = qgetenv("CORVANE_SCREENSHOT_DIR");
  return fromEnv.isEmpty() ? QStringLiteral(CORVANE_SCREENSHOT_DIR) : QString::fromLocal8Bit(fromEnv);
}

void SaveScreenshot(QWidget* window, const char* name) {
  QDir().mkpath(ScreenshotDir());
  const QString file = ScreenshotDir() + QStringLiteral("/") + QString::fromUtf8(name) + QStringLiteral(".png");
  EXPECT_TRUE(window->grab().save(file)) << file.toStdString();
}

struct StartCase {
  const char* scenario;
  std::string_view status;
  std::string_view picture;
  bool clickable;
  const char* screenshot;  // nullptr: none
};

TEST(QtWindowFlow, FirstScanResultIsOnScreenWhenTheWindowFirstShows) {
  const StartCase cases[] = {
      {"none", app::kStatusNoDevice, app::kPictureCross, false, "01-no-device"},
      {"kts210-current", app::kStatusCurrent, app::kPictureGood, false, "02-up-to-date"},
      {"kts210", app::kStatusOfferSata, app::kPictureUpdate, true, "03-update-offered"},
      {"kts260", app::kStatusOfferNvme, app::kPictureUpdate, true, nullptr},
      {"two", app::kStatusSeveral, app::kPictureCross, false, "07-several-adaptors"},
      {"usb-stick", app::kStatusNoDevice, app::kPictureCross, false, nullptr},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.scenario);
    SimWindow sim(c.scenario);
    sim.window.Start();
    // Nothing below waits for the window to be shown: start-up finished the scan and the check.
    EXPECT_EQ(sim.StatusText(), Q(c.status));
    EXPECT_EQ(sim.StatusEnabled(), c.clickable);
    EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image3), c.picture);
    EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image1), app::kPictureBackground);
    EXPECT_TRUE(sim.Shown(ControlId::Image3));
    EXPECT_FALSE(sim.Shown(ControlId::Image2));
    EXPECT_FALSE(sim.Shown(ControlId::UpdateProgressBar));
    EXPECT_EQ(sim.window.View().Window()->windowTitle(), Q(app::kWindowCaption));
    EXPECT_TRUE(sim.boxes.empty());
    if (c.screenshot != nullptr) {
      sim.window.Show();
      SaveScreenshot(sim.window.View().Window(), c.screenshot);
    }
  }
}

TEST(QtWindowFlow, ScanInProgressShowsTheTurningArrows) {
  SimWindow sim("kts210");
  bool captured = false;
  // The first command of the scan: the window already shows the banner, the animation and the
  // scan's first text.
  sim.session.World().SetTraceSink([&](const device::TraceEntry&) {
    if (captured) return;
    captured = true;
    EXPECT_TRUE(sim.Shown(ControlId::Image2));
    EXPECT_FALSE(sim.Shown(ControlId::Image3));
    sim.window.Form().ShowResourcePicture(ControlId::Image2, app::kPictureLoading2);
    SaveScreenshot(sim.window.View().Window(), "00-looking");
  });
  sim.window.Start();
  EXPECT_TRUE(captured);
}

struct RunCase {
  const char* scenario;
  std::string_view finalStatus;
  std::string_view finalPicture;
  const char* duringScreenshot;
  const char* endScreenshot;
};

TEST(QtWindowFlow, ClickOnTheOfferedUpdateRunsItOnceAndShowsTheOutcome) {
  const RunCase cases[] = {
      {"kts210", app::kStatusUpdateComplete, app::kPictureGood, "04-updating", "05-update-complete"},
      {"kts260", app::kStatusUpdateComplete, app::kPictureGood, nullptr, nullptr},
      {"kts260-corrupt", app::kStatusUpdateComplete, app::kPictureGood, nullptr, nullptr},
      {"kts260-unplug", app::kStatusUpdateFail, app::kPictureCross, nullptr, "06-update-fail"},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.scenario);
    SimWindow sim(c.scenario);
    sim.window.Start();
    sim.window.Show();
    ASSERT_TRUE(sim.StatusEnabled());

    bool sawProgress = false, sawDisabledRunning = false, captured = false;
    sim.session.World().SetTraceSink([&](const device::TraceEntry&) {
      if (!sim.Shown(ControlId::UpdateProgressBar)) return;
      sawProgress = true;
      sawDisabledRunning = sawDisabledRunning || (!sim.StatusEnabled() &&
                                                  sim.StatusText() == Q(app::kStatusUpdating));
      // A second click during the run must not start another one.
      QTest::mouseClick(sim.Control(ControlId::lblStaust), Qt::LeftButton);
      if (!captured && c.duringScreenshot != nullptr && sim.Progress()->value() >= 40) {
        captured = true;
        SaveScreenshot(sim.window.View().Window(), c.duringScreenshot);
      }
    });
    QTest::mouseClick(sim.Control(ControlId::lblStaust), Qt::LeftButton);
    sim.session.World().SetTraceSink({});

    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(sawDisabledRunning);
    EXPECT_EQ(sim.StatusText(), Q(c.finalStatus));
    EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image3), c.finalPicture);
    EXPECT_FALSE(sim.StatusEnabled());
    EXPECT_FALSE(sim.Shown(ControlId::UpdateProgressBar));
    EXPECT_EQ(sim.window.Form().UpdateInProgress, 0);
    // Only a failure is explained, once, beyond the window's two words.
    const bool failed = c.finalStatus == app::kStatusUpdateFail;
    ASSERT_EQ(sim.reported.size(), failed ? 1u : 0u);
    if (failed) {
      EXPECT_EQ(sim.reported[0].rfind("Update Fail: ", 0), 0u) << sim.reported[0];
    }
    if (c.duringScreenshot != nullptr) {
      EXPECT_TRUE(captured);
    }
    if (c.endScreenshot != nullptr) SaveScreenshot(sim.window.View().Window(), c.endScreenshot);

    // The finished label takes no further click: no command reaches the adaptors.
    sim.session.World().ClearTrace();
    QTest::mouseClick(sim.Control(ControlId::lblStaust), Qt::LeftButton);
    EXPECT_TRUE(sim.session.World().Trace().empty());
  }
}

TEST(QtWindowFlow, ClosingTheWindowDuringTheUpdateKeepsItUpUntilTheResultIsShown) {
  SimWindow sim("kts210");
  sim.window.Start();
  sim.window.Show();
  QWidget* window = sim.window.View().Window();
  bool asked = false, hiddenDuringRun = false;
  sim.session.World().SetTraceSink([&](const device::TraceEntry&) {
    if (!sim.Shown(ControlId::UpdateProgressBar)) return;
    // As the close box does it: delivered when the run next lets messages through.
    if (!asked) QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
    asked = true;
    hiddenDuringRun = hiddenDuringRun || !window->isVisible();
  });
  QTest::mouseClick(sim.Control(ControlId::lblStaust), Qt::LeftButton);
  sim.session.World().SetTraceSink({});
  EXPECT_TRUE(asked);
  EXPECT_FALSE(hiddenDuringRun);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(sim.StatusText(), Q(app::kStatusUpdateComplete));
  // The request is carried out once the result has been on screen for a while.
  ASSERT_TRUE(sim.window.View().TimerActive(app::kCloseTimerId));
  sim.window.Form().WMTimer(app::kCloseTimerId);
  EXPECT_FALSE(window->isVisible());
}

// SIGTERM, SIGHUP and SIGINT close the window as its close box does: sent from inside a device
// command of the update run, the window stays until the result shows and closes on the close
// timer; sent while it is idle, it closes at once.
TEST(QtWindowFlow, CloseSignalsWaitForTheRunsResultLikeTheCloseBox) {
  struct Case {
    int signal;
    bool duringRun;
  };
  for (const Case c : {Case{SIGTERM, true}, Case{SIGHUP, true}, Case{SIGINT, true}, Case{SIGTERM, false}}) {
    SCOPED_TRACE(::testing::Message() << strsignal(c.signal) << (c.duringRun ? " during the run" : ""));
    SimWindow sim("kts210");
    sim.window.Start();
    sim.window.Show();
    QWidget* window = sim.window.View().Window();
    if (!c.duringRun) {
      ASSERT_EQ(kill(getpid(), c.signal), 0);
      for (int turn = 0; turn < 100 && window->isVisible(); ++turn) QCoreApplication::processEvents();
      EXPECT_FALSE(window->isVisible());
      continue;
    }
    bool sent = false, hiddenDuringRun = false;
    sim.session.World().SetTraceSink([&](const device::TraceEntry& entry) {
      if (!sent && !entry.cdb.empty() && entry.cdb[0] == 0x3B) sent = kill(getpid(), c.signal) == 0;
      hiddenDuringRun = hiddenDuringRun || !window->isVisible();
    });
    QTest::mouseClick(sim.Control(ControlId::lblStaust), Qt::LeftButton);
    sim.session.World().SetTraceSink({});
    EXPECT_TRUE(sent);
    EXPECT_FALSE(hiddenDuringRun);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(sim.StatusText(), Q(app::kStatusUpdateComplete));
    ASSERT_TRUE(sim.window.View().TimerActive(app::kCloseTimerId));
    sim.window.Form().WMTimer(app::kCloseTimerId);
    EXPECT_FALSE(window->isVisible());
  }
}

TEST(QtWindowFlow, ReplugAfterTheUpdateRescansOnTheTimerAndFindsItCurrent) {
  SimWindow sim("kts210");
  sim.window.Start();
  sim.window.Show();
  QTest::mouseClick(sim.Control(ControlId::lblStaust), Qt::LeftButton);
  ASSERT_EQ(sim.StatusText(), Q(app::kStatusUpdateComplete));

  // Unplug and re-plug as a person does with F5: the events go through the event loop and arm the
  // rescan timer; no scan runs yet.
  for (int press = 0; press < 2; ++press) ASSERT_TRUE(sim.session.TogglePlug(0));
  QCoreApplication::processEvents();
  EXPECT_TRUE(sim.window.View().TimerActive(app::kRescanTimerId));
  EXPECT_EQ(sim.StatusText(), Q(app::kStatusUpdateComplete));

  // The timer's tick (delivered here without waiting out its 500 ms) runs the scan once.
  sim.window.View().onTimer(app::kRescanTimerId);
  EXPECT_FALSE(sim.window.View().TimerActive(app::kRescanTimerId));
  EXPECT_EQ(sim.StatusText(), Q(app::kStatusCurrent));
  EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image3), app::kPictureGood);
  SaveScreenshot(sim.window.View().Window(), "08-replugged-up-to-date");
}

TEST(QtWindowFlow, UnplugEventsMapToRemovalAndNodeChanges) {
  struct Case {
    bool plugged;
    std::vector<std::uint32_t> codes;
  };
  for (const Case& c : {Case{false, {device::kDbtDeviceRemoveComplete, device::kDbtDevNodesChanged}},
                        Case{true, {device::kDbtDevNodesChanged}}}) {
    EXPECT_EQ(sim::PlugEventCodes(c.plugged), c.codes) << "plugged=" << c.plugged;
  }
}

TEST(QtWindowFlow, UnplugWhileNoAdaptorIsLeftShowsTheCross) {
  SimWindow sim("kts260-current");
  sim.window.Start();
  ASSERT_EQ(sim.StatusText(), Q(app::kStatusCurrent));
  ASSERT_TRUE(sim.session.TogglePlug(0));
  EXPECT_FALSE(sim.session.TogglePlug(5));  // no such adaptor
  QCoreApplication::processEvents();
  sim.window.View().onTimer(app::kRescanTimerId);
  EXPECT_EQ(sim.StatusText(), Q(app::kStatusNoDevice));
  EXPECT_EQ(sim.window.View().PictureIn(ControlId::Image3), app::kPictureCross);
}

}  // namespace
}  // namespace corvane::app::qt::testing
