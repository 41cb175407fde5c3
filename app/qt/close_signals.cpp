#include "app/qt/close_signals.h"

#include <QSocketNotifier>

#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <utility>

namespace corvane::app::qt {
namespace {

sigset_t CloseSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGHUP, SIGINT}) sigaddset(&set, s);
  return set;
}

}  // namespace

void HoldCloseSignals() {
  const sigset_t set = CloseSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

CloseSignalWatch::CloseSignalWatch(std::function<void()> close, QObject* parent)
    : QObject(parent), close_(std::move(close)) {
  HoldCloseSignals();
  const sigset_t set = CloseSignals();
  fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd_ < 0) {
    // Nothing could read them: they end the program as before rather than go unheard.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return;
  }
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { OnReadable(); });
}

CloseSignalWatch::~CloseSignalWatch() {
  delete notifier_;
  if (fd_ >= 0) ::close(fd_);
}

void CloseSignalWatch::OnReadable() {
  signalfd_siginfo info{};
  bool asked = false;
  while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) asked = true;
  if (asked && close_) close_();
}

}  // namespace corvane::app::qt
