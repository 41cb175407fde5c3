// A FormView that records every call in order and keeps the window's state, driven on virtual time:
// its timers come due by the VirtualClock, and device-change events and timer ticks are delivered to
// the form only inside ProcessPendingMessages (or Pump), as a real message loop would.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/form.h"
#include "sim/sim.h"
#include "tests/support/runaway_guard.h"

namespace corvane::app::testing {

using namespace ::corvane::device;

class RecordingView : public FormView {
 public:
  explicit RecordingView(sim::VirtualClock& clock) : clock_(clock) {}

  void Attach(TForm1& form) { form_ = &form; }

  // FormView
  void ShowPicture(ControlId image, std::string_view name) override {
    pictures[image] = std::string(name);
    Record("Picture " + std::string(ControlName(image)) + " " + std::string(name));
  }
  void SetVisible(ControlId control, bool visible) override {
    visibility[control] = visible;
    Record("Visible " + std::string(ControlName(control)) + (visible ? " 1" : " 0"));
  }
  void SetStatusText(std::string_view text) override {
    status = std::string(text);
    Record("Status " + status);
  }
  void SetStatusEnabled(bool enabled) override {
    statusEnabled = enabled;
    Record(enabled ? "Enabled 1" : "Enabled 0");
  }
  void ClearDeviceList() override {
    items.clear();
    selected = -1;
    Record("ListClear");
  }
  void AddDeviceItem(std::string_view text) override {
    items.emplace_back(text);
    Record("ListAdd " + std::string(text));
  }
  void SelectDeviceItem(int index) override {
    selected = index >= 0 && index < static_cast<int>(items.size()) ? index : -1;
    Record("ListSelect " + std::to_string(index));
  }
  int SelectedDeviceIndex() const override { return selected; }
  void SetDeviceListEnabled(bool enabled) override {
    listEnabled = enabled;
    Record(enabled ? "ListEnabled 1" : "ListEnabled 0");
  }
  void SetProgress(int percent) override { progress.push_back(percent); }
  void ProcessPendingMessages() override {
    Record("Process");
    if (onProcess) onProcess();
    clock_.AdvanceMs(msPerProcess);
    Pump();
  }
  void ShowWarningBox(std::string_view text, std::string_view title) override {
    Record("Warning " + std::string(title) + ": " + std::string(text));
  }
  void ShowAccessProblem(std::string_view text, std::string_view title) override {
    accessTexts.push_back(std::string(text));
    Record("Access " + std::string(title));
  }
  void StartTimer(std::uint32_t id, std::uint32_t ms) override {
    timers[id] = Timer{clock_.NowMs() + ms, ms};
    Record("StartTimer " + std::to_string(id) + " " + std::to_string(ms));
  }
  void KillTimer(std::uint32_t id) override {
    timers.erase(id);
    Record("KillTimer " + std::to_string(id));
  }
  void SetCaption(std::string_view text) override {
    caption = std::string(text);
    Record("Caption " + caption);
  }
  void RegisterDeviceNotifications() override { Record("Register"); }
  void CloseWindow() override { Record("CloseWindow"); }
  bool IsWindows7To81() override {
    versionTests.push_back("7-8.1");
    return windows7;
  }
  bool IsWindows8Or81() override {
    versionTests.push_back("8-8.1");
    return windows8;
  }
  bool IsWindows10() override {
    versionTests.push_back("10");
    return windows10;
  }
  bool CloseSystemPromptDialog() override {
    ++promptCloses;
    return false;
  }

  // Queues a device-change event; it reaches the form at the next message processing.
  void PostDeviceChange(std::uint32_t code) { events_.push_back(code); }

  // Delivers queued events, then every timer that is due (once each, as ticks coalesce). Nested
  // calls deliver too, as a message loop run from inside a handler does.
  void Pump() {
    if (form_ == nullptr) return;
    while (!events_.empty()) {
      const std::uint32_t code = events_.front();
      events_.pop_front();
      form_->WMDeviceChange(code);
    }
    std::vector<std::uint32_t> due;
    for (auto& [id, timer] : timers) {
      if (timer.dueMs <= clock_.NowMs()) due.push_back(id);
    }
    for (std::uint32_t id : due) {
      auto it = timers.find(id);
      if (it == timers.end()) continue;
      it->second.dueMs = clock_.NowMs() + it->second.periodMs;
      form_->WMTimer(id);
    }
  }

  // Lets virtual time pass with an idle message loop, in 10 ms steps.
  void IdleFor(std::uint64_t ms) {
    for (std::uint64_t passed = 0; passed < ms; passed += 10) {
      clock_.AdvanceMs(10);
      Pump();
    }
  }

  // Calls recorded from index `from` on.
  std::vector<std::string> CallsFrom(std::size_t from) const {
    return {calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end()};
  }
  // Virtual times at which a scan began ("Looking for Corvane adaptor").
  std::vector<std::uint64_t> scanStarts;

  std::vector<std::string> calls;
  std::map<ControlId, std::string> pictures;
  std::map<ControlId, bool> visibility;
  std::string status;
  bool statusEnabled = false;
  std::vector<std::string> items;
  int selected = -1;
  bool listEnabled = true;
  std::vector<int> progress;
  std::vector<std::string> accessTexts;
  std::string caption;
  bool windows7 = false, windows8 = false, windows10 = false;
  std::vector<std::string> versionTests;  // the Windows-version tests asked, in order
  int promptCloses = 0;
  std::uint64_t msPerProcess = 0;
  std::function<void()> onProcess;
  // Called after every recorded call with its text.
  std::function<void(const std::string&)> onCall;

  struct Timer {
    std::uint64_t dueMs;
    std::uint64_t periodMs;
  };
  std::map<std::uint32_t, Timer> timers;

  // No test needs more than a few scans or a few thousand calls; a rescan that starts the next one
  // (a timer that fires at every message processing) passes these within a fraction of a second,
  // and the test stops there instead of filling the memory with its recording.
  struct Bounds {
    std::size_t scans = 1000;
    std::size_t calls = 500000;
  };
  Bounds bounds;

 private:
  void Record(std::string call) {
    if (call == "Status " + std::string(kStatusLooking)) {
      scanStarts.push_back(clock_.NowMs());
      if (scanStarts.size() > bounds.scans) {
        test_support::StopRunawayTest(std::to_string(scanStarts.size()) + " scans in one test, " +
                                      "past the bound of " + std::to_string(bounds.scans));
      }
    }
    calls.push_back(std::move(call));
    if (calls.size() > bounds.calls) {
      test_support::StopRunawayTest(std::to_string(calls.size()) + " window calls in one test, " +
                                    "past the bound of " + std::to_string(bounds.calls));
    }
    if (onCall) onCall(calls.back());
  }

  sim::VirtualClock& clock_;
  TForm1* form_ = nullptr;
  std::deque<std::uint32_t> events_;
};

}  // namespace corvane::app::testing
