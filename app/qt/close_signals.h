// SIGTERM, SIGHUP and SIGINT ask the window to close, as its close box does: at once when it is
// idle, and during an update run only after the result has been shown (TForm1::FormCloseQuery).
//
// They are blocked in every thread of the program and read from a signalfd by the event loop, so
// none ever interrupts a device command (an interrupted SG_IO is either sent to the bridge again
// or fails the write); the update run lets messages through at its fixed points, and that is
// where a close request reaches the window.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace corvane::app::qt {

// Blocks the three signals in the calling thread; called first thing in main(), before any other
// thread exists, so that every thread started later has them blocked too.
void HoldCloseSignals();

class CloseSignalWatch : public QObject {
 public:
  // `close` is called on the window thread for each batch of signals read.
  explicit CloseSignalWatch(std::function<void()> close, QObject* parent = nullptr);
  ~CloseSignalWatch() override;
  CloseSignalWatch(const CloseSignalWatch&) = delete;
  CloseSignalWatch& operator=(const CloseSignalWatch&) = delete;

 private:
  void OnReadable();

  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  std::function<void()> close_;
};

}  // namespace corvane::app::qt
