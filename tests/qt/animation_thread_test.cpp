// TMyThread: frame order and period, a stop that does not wait out the period, and the hand-over of
// frames to the window thread.
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/form.h"
#include "app/animation_thread.h"
#include "tests/qt/sim_window.h"

namespace corvane::app::qt::testing {
namespace {

using namespace ::corvane::device;

using namespace std::chrono_literals;

struct Recorder {
  std::mutex mutex;
  std::vector<std::string> frames;
  std::vector<std::chrono::milliseconds> waits;
};

TEST(AnimationThread, RunsTheFramesTopRightLowerLeftEveryPeriodUntilStopped) {
  Recorder record;
  constexpr int kFrames = 7;
  {
    TMyThread thread(
        [&](std::string_view frame) {
          std::lock_guard lock(record.mutex);
          record.frames.emplace_back(frame);
        },
        [](std::int32_t counter) { return app::AnimationFrameName(counter); }, 500ms,
        [&](std::chrono::milliseconds period) {
          std::lock_guard lock(record.mutex);
          record.waits.push_back(period);
          return record.waits.size() >= kFrames;  // a stop after the seventh frame
        });
    // The thread stops itself after the seventh wait; the destructor then only joins.
    for (;;) {
      std::lock_guard lock(record.mutex);
      if (record.waits.size() >= kFrames) break;
    }
  }
  const std::vector<std::string> expected = {"LOADING2", "LOADING3", "LOADING1", "LOADING2",
                                             "LOADING3", "LOADING1", "LOADING2"};
  EXPECT_EQ(record.frames, expected);
  EXPECT_EQ(record.waits, std::vector<std::chrono::milliseconds>(kFrames, 500ms));
}

TEST(AnimationThread, StopWakesTheSleepingThreadAtOnce) {
  std::atomic<int> delivered{0};
  TMyThread thread([&](std::string_view) { ++delivered; },
                   [](std::int32_t counter) { return app::AnimationFrameName(counter); }, 1h);
  while (delivered.load() == 0) std::this_thread::yield();  // the first frame comes at once
  const auto before = std::chrono::steady_clock::now();
  thread.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
  EXPECT_EQ(thread.FramesDelivered(), 1);
  thread.Stop();  // a second stop is harmless
}

TEST(AnimationThread, FramesReachImage2OnTheWindowThreadAndStopBeforeTheWindowGoes) {
  SimWindow sim("none", UpdaterWindow::Options{true, 1ms, {}});
  sim.window.Start();
  // The scan ended with the cross; the animation keeps putting frames into the hidden Image2.
  EXPECT_TRUE(sim.Control(app::ControlId::Image2)->isHidden());
  ASSERT_TRUE(QTest::qWaitFor([&] { return sim.window.Animation()->FramesDelivered() > 3; }, 5000));
  QCoreApplication::processEvents();
  const std::string frame = sim.window.View().PictureIn(app::ControlId::Image2);
  EXPECT_TRUE(frame == "LOADING1" || frame == "LOADING2" || frame == "LOADING3") << frame;
  sim.window.StopAnimation();
  const int frames = sim.window.Animation()->FramesDelivered();
  QCoreApplication::processEvents();
  EXPECT_EQ(sim.window.Animation()->FramesDelivered(), frames);
}

// Start-up order: the animation runs before the first scan sends anything, and the caption is set
// only after that scan (FormCreate comes after it). The window's own options turn the frames every
// 500 ms.
TEST(AnimationThread, StartsBeforeTheFirstScanWhichRunsBeforeTheCaptionIsSet) {
  std::mutex mutex;
  std::vector<std::chrono::milliseconds> waits;
  UpdaterWindow::Options options;
  options.animationWait = [&](std::chrono::milliseconds period) {
    std::lock_guard lock(mutex);
    waits.push_back(period);
    return true;  // one frame is enough
  };
  SimWindow sim("kts260", options);
  bool firstCommand = true, animating = false;
  QString caption;
  sim.session.World().SetTraceSink([&](const device::TraceEntry&) {
    if (!firstCommand) return;
    firstCommand = false;
    animating = sim.window.Animation() != nullptr;
    caption = sim.window.View().Window()->windowTitle();
  });
  sim.window.Start();
  sim.session.World().SetTraceSink({});
  EXPECT_FALSE(firstCommand);
  EXPECT_TRUE(animating);
  EXPECT_EQ(caption, Q(app::kStoredCaption));
  EXPECT_EQ(sim.window.View().Window()->windowTitle(), Q(app::kWindowCaption));
  sim.window.StopAnimation();
  std::lock_guard lock(mutex);
  EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{500ms});
}

// The two threads side by side through a whole scan, check and update run, with frames coming as
// fast as the thread can make them; built with -fsanitize=thread this is the race check.
TEST(AnimationThread, RunsAlongsideAScanAndAnUpdateRunAndEndsBeforeTheWindow) {
  {
    SimWindow sim("kts210", UpdaterWindow::Options{true, 1ms, {}});
    sim.window.Start();
    ASSERT_EQ(sim.StatusText(), Q(app::kStatusOfferSata));
    QTest::mouseClick(sim.Control(app::ControlId::lblStaust), Qt::LeftButton);
    EXPECT_EQ(sim.StatusText(), Q(app::kStatusUpdateComplete));
    // The window goes with frames still queued for it; none may arrive afterwards.
  }
  QCoreApplication::processEvents();  // nothing queued for the gone window may run
}

}  // namespace
}  // namespace corvane::app::qt::testing
