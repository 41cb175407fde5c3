#include "app/animation_thread.h"

#include <utility>

namespace corvane::app {

TMyThread::TMyThread(Deliver deliver, FrameOf frameOf, std::chrono::milliseconds period, Wait wait)
    : deliver_(std::move(deliver)),
      frameOf_(std::move(frameOf)),
      period_(period),
      wait_(std::move(wait)),
      thread_([this] { Run(); }) {}

TMyThread::~TMyThread() { Stop(); }

void TMyThread::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

std::int32_t TMyThread::FramesDelivered() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}

bool TMyThread::WaitOrStop(std::chrono::milliseconds period) {
  std::unique_lock lock(mutex_);
  if (wait_) {
    if (stopRequested_) return true;
    lock.unlock();
    const bool stop = wait_(period);
    lock.lock();
    return stop || stopRequested_;
  }
  // Sleeps without using the processor; a stop request wakes it at once.
  return wake_.wait_for(lock, period, [this] { return stopRequested_; });
}

void TMyThread::Run() {
  std::int32_t counter = 0;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopRequested_) return;
    }
    ++counter;
    deliver_(frameOf_(counter));
    {
      std::lock_guard lock(mutex_);
      ++delivered_;
    }
    if (WaitOrStop(period_)) return;
  }
}

}  // namespace corvane::app
