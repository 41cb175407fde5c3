// A FormView without a window: it keeps what the window would show, so the CLI can print the
// window's exact texts and decisions, and it runs the rescan timer on the clock it is given.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/form_view.h"

namespace corvane::app::cli {

class HeadlessView : public FormView {
 public:
  using Clock = std::chrono::steady_clock;

  void ShowPicture(ControlId image, std::string_view name) override;
  void SetVisible(ControlId control, bool visible) override;
  void SetStatusText(std::string_view text) override;
  void SetStatusEnabled(bool enabled) override { statusEnabled_ = enabled; }
  void ClearDeviceList() override;
  void AddDeviceItem(std::string_view text) override;
  void SelectDeviceItem(int index) override;
  int SelectedDeviceIndex() const override { return selected_; }
  void SetDeviceListEnabled(bool enabled) override { listEnabled_ = enabled; }
  void SetProgress(int percent) override;
  void ProcessPendingMessages() override {}
  void ShowWarningBox(std::string_view text, std::string_view caption) override;
  void ShowAccessProblem(std::string_view text, std::string_view caption) override;
  void StartTimer(std::uint32_t id, std::uint32_t ms) override;
  void KillTimer(std::uint32_t id) override;
  void SetCaption(std::string_view caption) override { caption_ = std::string(caption); }

  // What the window shows now.
  const std::string& StatusText() const { return status_; }
  bool StatusEnabled() const { return statusEnabled_; }
  std::string Picture(ControlId image) const;

  // The progress bar: told every value while it is visible.
  std::function<void(int percent)> onProgress;

  // The rescan timer (one timer is all the window uses).
  std::optional<Clock::time_point> TimerDue(std::uint32_t id) const;
  // After a tick was delivered to a timer that stays armed, its next tick is one period later.
  void TimerTicked(std::uint32_t id, Clock::time_point now);

 private:
  struct Timer {
    std::uint32_t periodMs = 0;
    Clock::time_point due;
  };
  std::string status_;
  bool statusEnabled_ = false;
  std::map<ControlId, std::string> pictures_;
  std::map<ControlId, bool> visible_;
  std::vector<std::string> items_;
  int selected_ = -1;
  bool listEnabled_ = false;
  std::string caption_;
  std::map<std::uint32_t, Timer> timers_;
};

}  // namespace corvane::app::cli
