// The window for people who do not use a mouse, and on screens smaller than the window: the update
// by Tab and Return, what assistive technology reads back, and the window fitted to small screens.
// The test program's offscreen platform has three screens (tests/qt/CMakeLists.txt): a desktop of
// 1920 x 1080, a laptop of 1280 x 720, and a 1920 x 1080 laptop at 150 % (1280 x 720 logical).
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/form.h"
#include "app/qt/status_label.h"
#include "app/window_fit.h"
#include "tests/qt/sim_window.h"

namespace corvane::app::qt::testing {
namespace {

using app::ControlId;

// Accessibility events as a platform bridge would receive them. The offscreen platform has no
// bridge, so Qt's own delivery does nothing in this program; this definition takes its place here
// and records what the widgets send.
std::vector<std::pair<QObject*, QAccessible::Event>> recordedEvents;

struct EventRecorder {
  EventRecorder() { recordedEvents.clear(); }
  int Count(QObject* object, QAccessible::Event type) const {
    int count = 0;
    for (const auto& [from, what] : recordedEvents) count += from == object && what == type ? 1 : 0;
    return count;
  }
};

}  // namespace
}  // namespace corvane::app::qt::testing

void QAccessible::updateAccessibility(QAccessibleEvent* event) {
  corvane::app::qt::testing::recordedEvents.emplace_back(event->object(), event->type());
}

namespace corvane::app::qt::testing {
namespace {

QString ScreenshotDir() {
  const QByteArray fromEnv = qgetenv("CORVANE_SCREENSHOT_DIR");
  return fromEnv.isEmpty() ? QStringLiteral(CORVANE_SCREENSHOT_DIR) : QString::fromLocal8Bit(fromEnv);
}

void SaveScreenshot(QWidget* window, const char* name) {
  QDir().mkpath(ScreenshotDir());
  const QString file = ScreenshotDir() + QStringLiteral("/") + QString::fromUtf8(name) + QStringLiteral(".png");
  EXPECT_TRUE(window->grab().save(file)) << file.toStdString();
}

QScreen* ScreenNamed(const char* name) {
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen->name() == QLatin1String(name)) return screen;
  }
  return nullptr;
}

TEST(QtWindowAccess, TabAndReturnRunTheOfferedUpdateOnceAndKeysDoNothingAfterwards) {
  SimWindow sim("kts210");
  sim.window.Start();
  sim.window.Show();
  QWidget* window = sim.window.View().Window();
  QApplication::setActiveWindow(window);
  QWidget* status = sim.Control(ControlId::lblStaust);
  // The offer took the focus: Enter alone would start the update.
  ASSERT_TRUE(status->hasFocus());
  // Tab from nowhere lands on it: it is the window's only visible tab stop.
  status->clearFocus();
  QTest::keyClick(window, Qt::Key_Tab);
  ASSERT_TRUE(status->hasFocus());

  int keysDuringRun = 0;
  bool disabledBeforeFirstCommand = false;
  sim.session.World().SetTraceSink([&](const device::TraceEntry&) {
    if (keysDuringRun == 0) disabledBeforeFirstCommand = !sim.StatusEnabled();
    if (!sim.Shown(ControlId::UpdateProgressBar) || keysDuringRun >= 4) return;
    // A second Return (and Space, and Tab back to the label) while the run works.
    ++keysDuringRun;
    QTest::keyClick(window, Qt::Key_Tab);
    QTest::keyClick(status, Qt::Key_Return);
    QTest::keyClick(status, Qt::Key_Space);
  });
  QTest::keyClick(status, Qt::Key_Return);
  sim.session.World().SetTraceSink({});

  EXPECT_GT(keysDuringRun, 0);
  EXPECT_TRUE(disabledBeforeFirstCommand);
  EXPECT_EQ(sim.window.Form().RunCount(), 1);
  EXPECT_EQ(sim.StatusText(), Q(app::kStatusUpdateComplete));
  EXPECT_FALSE(status->hasFocus());

  // Disabled, the label takes no focus and no key starts anything.
  sim.session.World().ClearTrace();
  for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter}) {
    QTest::keyClick(QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : window, key);
    QTest::keyClick(status, key);
  }
  EXPECT_FALSE(status->hasFocus());
  EXPECT_TRUE(sim.session.World().Trace().empty());
  EXPECT_EQ(sim.window.Form().RunCount(), 1);
}

TEST(QtWindowAccess, AKeyHeldDownFromBeforeStartsNothing) {
  SimWindow sim("kts260");
  sim.window.Start();
  QWidget* status = sim.Control(ControlId::lblStaust);
  QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), /*autorep=*/true);
  QApplication::sendEvent(status, &repeated);
  EXPECT_EQ(sim.window.Form().RunCount(), 0);
  EXPECT_TRUE(sim.StatusEnabled());
}

TEST(QtWindowAccess, AssistiveTechnologyReadsAButtonNamedByTheStatusAndNamedPictures) {
  struct Case {
    const char* scenario;
    std::string_view status;
    bool pressable;
    std::string_view pictureName;
  };
  const Case cases[] = {
      {"none", app::kStatusNoDevice, false, app::kAccessibleNameCross},
      {"kts210-current", app::kStatusCurrent, false, app::kAccessibleNameGood},
      {"kts210", app::kStatusOfferSata, true, app::kAccessibleNameUpdate},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    SimWindow sim(c.scenario);
    sim.window.Start();
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(sim.Control(ControlId::lblStaust));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->role(), QAccessible::Button);
    EXPECT_EQ(status->text(QAccessible::Name), Q(c.status));
    EXPECT_EQ(status->state().disabled, !c.pressable);
    EXPECT_EQ(status->state().focusable, c.pressable);
    ASSERT_NE(status->actionInterface(), nullptr);
    EXPECT_EQ(status->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()),
              c.pressable);
    QAccessibleInterface* result = QAccessible::queryAccessibleInterface(sim.Control(ControlId::Image3));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->text(QAccessible::Name), Q(c.pictureName));
  }
}

TEST(QtWindowAccess, ThePressActionRunsOneUpdateAndEveryStatusChangeIsAnnounced) {
  SimWindow sim("kts260");
  sim.window.Start();
  QWidget* label = sim.Control(ControlId::lblStaust);
  QAccessibleInterface* status = QAccessible::queryAccessibleInterface(label);
  ASSERT_NE(status, nullptr);
  EventRecorder recorder;
  status->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  // Pressed from outside, the run starts from the event loop, not inside the caller's request.
  EXPECT_EQ(sim.window.Form().RunCount(), 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(sim.window.Form().RunCount(), 1);
  EXPECT_EQ(status->text(QAccessible::Name), Q(app::kStatusUpdateComplete));
  EXPECT_TRUE(status->state().disabled);
  // "Updating", then "Update complete": two new names; the label's state changed when disabled.
  EXPECT_EQ(recorder.Count(label, QAccessible::NameChanged), 2);
  EXPECT_GE(recorder.Count(label, QAccessible::StateChanged), 1);
  EXPECT_GE(recorder.Count(sim.Control(ControlId::Image3), QAccessible::NameChanged), 1);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(sim.Control(ControlId::Image3))->text(QAccessible::Name),
            Q(app::kAccessibleNameGood));
  // A disabled label ignores the press.
  status->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QCoreApplication::processEvents();
  EXPECT_EQ(sim.window.Form().RunCount(), 1);
}

TEST(QtWindowFit, TheWindowFitsTheWorkAreaOfItsScreenAndKeepsItsSizeWhereThereIsRoom) {
  struct Case {
    const char* screen;
    bool scaled;
  };
  for (const Case& c : {Case{"desktop", false}, Case{"laptop", true}, Case{"laptop-150", true}}) {
    SCOPED_TRACE(c.screen);
    QScreen* screen = ScreenNamed(c.screen);
    if (screen == nullptr) GTEST_SKIP() << "runs on the offscreen platform's screens only";
    SimWindow sim("kts210");
    sim.window.Start();
    QtFormView& view = sim.window.View();
    view.CentreOnDesktop(screen);
    view.Window()->show();
    const QRect available = screen->availableGeometry();
    EXPECT_TRUE(available.contains(view.Window()->frameGeometry()))
        << view.Window()->frameGeometry().width() << "x" << view.Window()->frameGeometry().height();
    QWidget* status = sim.Control(ControlId::lblStaust);
    const QRect statusOnScreen(status->mapToGlobal(QPoint(0, 0)), status->size());
    EXPECT_TRUE(available.contains(statusOnScreen));
    EXPECT_EQ(view.Scale() < 1.0, c.scaled);
    // Everything follows the one factor: window, controls, fonts and pictures.
    const double scale = view.Scale();
    EXPECT_EQ(view.Window()->size(), QSize(app::ScaleLength(997, scale), app::ScaleLength(756, scale)));
    for (const app::ControlLayout& row : app::kControlLayout) {
      const app::PixelRect rect = app::ScaledControlRect(row.id, scale);
      EXPECT_EQ(sim.Control(row.id)->geometry(), QRect(rect.left, rect.top, rect.width, rect.height)) << row.name;
    }
    EXPECT_LE(sim.Control(ControlId::lblStaust)->font().pixelSize(), app::ScaleLength(21, scale));
    EXPECT_EQ(static_cast<QLabel*>(sim.Control(ControlId::Image1))->pixmap().size(),
              sim.Control(ControlId::Image1)->size());
    if (!c.scaled) {
      EXPECT_EQ(sim.Control(ControlId::lblStaust)->font().pixelSize(), 21);
    }
  }
}

// How the window looks on a 1366 x 768 screen with a 40-pixel panel, under a window manager whose
// title bar is kAssumedTitleBarHeight high: updated with the keyboard alone.
TEST(QtWindowFit, ScreenshotsOnA1366By768Screen) {
  SimWindow sim("kts210");
  sim.window.Start();
  QtFormView& view = sim.window.View();
  view.FitTo(QRect(0, 0, 1366, 728),
             QMargins(kAssumedBorderWidth, kAssumedTitleBarHeight, kAssumedBorderWidth, kAssumedBorderWidth));
  view.Window()->show();
  QApplication::setActiveWindow(view.Window());
  EXPECT_EQ(view.Window()->height() + kAssumedTitleBarHeight + kAssumedBorderWidth, 728);
  // The offer has the keyboard focus; once the keyboard is used (Tab) it shows its focus frame.
  EXPECT_TRUE(sim.Control(ControlId::lblStaust)->hasFocus());
  QTest::keyClick(view.Window(), Qt::Key_Tab);
  EXPECT_TRUE(sim.Control(ControlId::lblStaust)->hasFocus());
  SaveScreenshot(view.Window(), "10-1366x768-update-offered");
  QTest::keyClick(sim.Control(ControlId::lblStaust), Qt::Key_Return);
  EXPECT_EQ(sim.StatusText(), Q(app::kStatusUpdateComplete));
  SaveScreenshot(view.Window(), "11-1366x768-update-complete");
}

}  // namespace
}  // namespace corvane::app::qt::testing
