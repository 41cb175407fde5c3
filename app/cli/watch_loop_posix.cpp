// The watch's waiting on POSIX: poll() on the kernel's event socket or on standard input, with
// SIGINT and SIGTERM turned into a stop request.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>

#include "app/cli/watch_loop.h"

namespace corvane::app::cli {
namespace {

volatile std::sig_atomic_t gStopRequested = 0;

void RequestStop(int) { gStopRequested = 1; }

class PosixWatchLoop : public WatchLoop {
 public:
  PosixWatchLoop(device::DeviceEventSource* events, bool readInput)
      : events_(events), readInput_(readInput) {
    gStopRequested = 0;
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: poll() returns at once with EINTR
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~PosixWatchLoop() override {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
  }

  bool StopRequested() const override { return gStopRequested != 0; }

  WatchWakeUp Wait(int timeoutMs) override {
    WatchWakeUp wake;
    const int eventFd = events_ != nullptr ? events_->Descriptor() : -1;
    pollfd fds[2] = {};
    nfds_t count = 0;
    if (eventFd >= 0) fds[count++] = pollfd{eventFd, POLLIN, 0};
    const nfds_t inputSlot = count;
    if (readInput_) fds[count++] = pollfd{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(fds, count, timeoutMs < 0 ? -1 : timeoutMs);
    if (ready <= 0) return wake;  // time-out, or a signal (the caller looks at the stop request)
    if (eventFd >= 0 && fds[0].revents != 0) wake.events = events_->ReadPending();
    if (readInput_ && fds[inputSlot].revents != 0) ReadInput(wake);
    return wake;
  }

 private:
  void ReadInput(WatchWakeUp& wake) {
    // Raw reads: a buffered stream could hold lines that poll() no longer reports.
    char chunk[256];
    const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
    if (got <= 0) {
      readInput_ = false;
      wake.inputEnded = true;
      if (!input_.empty()) wake.lines.push_back(input_);
      input_.clear();
      return;
    }
    input_.append(chunk, static_cast<std::size_t>(got));
    for (auto eol = input_.find('\n'); eol != std::string::npos; eol = input_.find('\n')) {
      wake.lines.push_back(input_.substr(0, eol));
      input_.erase(0, eol + 1);
    }
  }

  device::DeviceEventSource* events_;
  bool readInput_;
  std::string input_;
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

}  // namespace

std::unique_ptr<WatchLoop> MakeWatchLoop(device::DeviceEventSource* events, bool readInput) {
  return std::make_unique<PosixWatchLoop>(events, readInput);
}

}  // namespace corvane::app::cli
