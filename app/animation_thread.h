// TMyThread: the busy animation. Its own thread counts the frames and sleeps; every frame is handed
// to the window thread, which alone touches the widgets.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>

namespace corvane::app {

class TMyThread {
 public:
  // Called on the animation thread with the name of the next frame; it must only post the frame
  // to the window thread.
  using Deliver = std::function<void(std::string_view frame)>;
  // The frame for counter n (1, 2, 3, ...).
  using FrameOf = std::function<std::string_view(std::int32_t counter)>;
  // Waits up to `period` or until Stop() is called; true when a stop was requested. The default
  // waits on the thread's own condition variable; tests step through frames without real time.
  using Wait = std::function<bool(std::chrono::milliseconds period)>;

  TMyThread(Deliver deliver, FrameOf frameOf,
            std::chrono::milliseconds period = std::chrono::milliseconds(500), Wait wait = {});
  ~TMyThread();  // stops and joins
  TMyThread(const TMyThread&) = delete;
  TMyThread& operator=(const TMyThread&) = delete;

  // Requests the stop and waits for the thread to finish. The window calls it before it destroys its
  // controls, so no frame is ever handed to a window that is gone.
  void Stop();
  std::int32_t FramesDelivered() const;

 private:
  void Run();
  bool WaitOrStop(std::chrono::milliseconds period);

  Deliver deliver_;
  FrameOf frameOf_;
  std::chrono::milliseconds period_;
  Wait wait_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopRequested_ = false;
  std::int32_t delivered_ = 0;
  std::thread thread_;  // last: starts after every member above is ready
};

}  // namespace corvane::app
