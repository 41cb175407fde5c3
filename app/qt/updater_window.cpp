#include "app/qt/updater_window.h"

#include <QMetaObject>
#include <QWidget>

#include "app/qt/qt_host_services.h"
#include "app/update_run.h"

namespace corvane::app::qt {

UpdaterWindow::UpdaterWindow(Options options) : options_(options), form_(view_) {
  view_.onStatusClicked = [this] { RunGuarded([this] { ClickStatus(); }); };
  reportLine = [](std::string_view line) { WriteErrorLine(line); };
  view_.onTimer = [this](std::uint32_t id) { RunGuarded([this, id] { form_.WMTimer(id); }); };
  view_.onRegisterDeviceNotifications = [this] { Register(); };
  view_.onCloseRequested = [this] { return form_.FormCloseQuery(); };
}

UpdaterWindow::~UpdaterWindow() {
  // The animation thread posts to the window; it ends before the window and its controls go.
  StopAnimation();
  watch_.reset();
  closeSignals_.reset();
}

void UpdaterWindow::StopAnimation() {
  if (animation_) animation_->Stop();
}

void UpdaterWindow::Start() {
  if (options_.animate) {
    QWidget* window = view_.Window();
    animation_ = std::make_unique<app::TMyThread>(
        [this, window](std::string_view frame) {
          // Widgets belong to the window thread: the frame travels there as a queued call, which
          // Qt drops if the window is already gone.
          QMetaObject::invokeMethod(
              window, [this, frame] { form_.ShowResourcePicture(app::ControlId::Image2, frame); },
              Qt::QueuedConnection);
        },
        [](std::int32_t counter) { return app::AnimationFrameName(counter); },
        options_.animationPeriod, options_.animationWait);
  }
  form_.Start();
  form_.FormCreate();
}

void UpdaterWindow::Show() {
  view_.CentreOnDesktop();
  view_.Window()->show();
  // Signals that came during start-up are read now: the window shows, then closes.
  if (!closeSignals_) {
    closeSignals_ = std::make_unique<CloseSignalWatch>([this] { view_.Window()->close(); });
  }
}

void UpdaterWindow::ClickStatus() {
  const int runsBefore = form_.RunCount();
  form_.lblStaustClick();
  // The window shows only "Update Fail"; the reason goes where a user or a bug report can read it.
  const app::UpdateRunResult& run = form_.LastRun();
  if (form_.RunCount() != runsBefore && run.outcome == app::RunOutcome::Fail && reportLine) {
    reportLine("Update Fail: " + app::DescribeRunFailure(run));
  }
}

void UpdaterWindow::Register() {
  // A failed registration is not reported: the window then still sees what is posted to it.
  if (eventSource_ == nullptr || eventSource_->Descriptor() < 0) return;
  device::DeviceEventSource* source = eventSource_;
  watch_ = std::make_unique<DeviceWatch>(
      source->Descriptor(), [source] { return source->ReadPending(); },
      [this](std::uint32_t code) { DeliverDeviceEvent(code); });
}

void UpdaterWindow::DeliverDeviceEvent(std::uint32_t code) {
  RunGuarded([this, code] { form_.WMDeviceChange(code); });
}

void UpdaterWindow::PostDeviceEvent(std::uint32_t code) {
  QMetaObject::invokeMethod(view_.Window(), [this, code] { DeliverDeviceEvent(code); },
                            Qt::QueuedConnection);
}

}  // namespace corvane::app::qt
