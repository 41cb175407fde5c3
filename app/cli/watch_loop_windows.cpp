// The watch's waiting on Windows: the device-event source's own wait (its window's message queue),
// standard input read by a thread of its own (a console or pipe handle cannot be waited on together
// with a message queue in one portable way), and Ctrl-C / Ctrl-Break as a stop request.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/cli/watch_loop.h"

namespace corvane::app::cli {
namespace {

// A stop request may come while the loop waits on a queue that it does not wake; waits are cut into
// slices this long so the request is seen soon.
constexpr int kStopCheckMs = 100;

std::atomic<bool> gStopRequested{false};

BOOL WINAPI RequestStop(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  gStopRequested = true;
  return TRUE;
}

// Lines of standard input, read on their own thread. The thread may still block in a read when
// the watch ends; it is left to end with the process and touches nothing but its shared queue.
struct InputLines {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<std::string> lines;
  bool ended = false;
};

class WindowsWatchLoop : public WatchLoop {
 public:
  WindowsWatchLoop(device::DeviceEventSource* events, bool readInput) : events_(events) {
    gStopRequested = false;
    SetConsoleCtrlHandler(RequestStop, TRUE);
    if (readInput) {
      input_ = std::make_shared<InputLines>();
      std::thread([input = input_] {
        std::string line;
        while (std::getline(std::cin, line)) {
          std::lock_guard lock(input->mutex);
          input->lines.push_back(line);
          input->arrived.notify_all();
        }
        std::lock_guard lock(input->mutex);
        input->ended = true;
        input->arrived.notify_all();
      }).detach();
    }
  }
  ~WindowsWatchLoop() override { SetConsoleCtrlHandler(RequestStop, FALSE); }

  bool StopRequested() const override { return gStopRequested; }

  WatchWakeUp Wait(int timeoutMs) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    WatchWakeUp wake;
    for (;;) {
      int slice = kStopCheckMs;
      if (timeoutMs >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        slice = static_cast<int>(std::max<long long>(0, std::min<long long>(left, kStopCheckMs)));
      }
      if (events_ != nullptr && events_->Wait(slice)) wake.events = events_->ReadPending();
      if (input_) TakeInput(wake, events_ == nullptr ? slice : 0);
      if (!wake.events.empty() || !wake.lines.empty() || wake.inputEnded) return wake;
      if (events_ == nullptr && !input_) Sleep(static_cast<DWORD>(slice));
      if (gStopRequested || (timeoutMs >= 0 && Clock::now() >= deadline)) return wake;
    }
  }

 private:
  void TakeInput(WatchWakeUp& wake, int waitMs) {
    std::unique_lock lock(input_->mutex);
    input_->arrived.wait_for(lock, std::chrono::milliseconds(waitMs),
                             [this] { return !input_->lines.empty() || input_->ended; });
    while (!input_->lines.empty()) {
      wake.lines.push_back(std::move(input_->lines.front()));
      input_->lines.pop_front();
    }
    if (input_->ended && !endReported_) {
      wake.inputEnded = true;
      endReported_ = true;
    }
  }

  device::DeviceEventSource* events_;
  std::shared_ptr<InputLines> input_;
  bool endReported_ = false;
};

}  // namespace

std::unique_ptr<WatchLoop> MakeWatchLoop(device::DeviceEventSource* events, bool readInput) {
  return std::make_unique<WindowsWatchLoop>(events, readInput);
}

}  // namespace corvane::app::cli
