#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iostream>
#include <system_error>
#include <thread>

#include "app/cli/terminal.h"

namespace corvane::app::cli {

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool ReadAnswerLine(std::string& line) { return static_cast<bool>(std::getline(std::cin, line)); }

void IgnoreBrokenPipes() { signal(SIGPIPE, SIG_IGN); }

namespace {

// The signals held off while an adaptor is written, and whether each ends the program or stops
// it. SIGTTOU is held too: a run in the background of a terminal set to `tostop` is then not
// stopped by its own progress lines.
struct HeldSignal {
  int number;
  bool ends;
};
constexpr HeldSignal kHeld[] = {{SIGINT, true},   {SIGTERM, true},  {SIGHUP, true},
                                {SIGQUIT, true},  {SIGTSTP, false}, {SIGTTOU, false}};

sigset_t HeldSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const HeldSignal& s : kHeld) sigaddset(&set, s.number);
  return set;
}

constexpr char kNote[] =
    "\ncorvane-update: the adaptor is being written and the write goes on: stopping now could "
    "leave it unusable. This is acted on once the result is shown.\n";

}  // namespace

// The signals are blocked in the thread that talks to the adaptor, so none interrupts a device
// command (an interrupted SG_IO is either sent to the bridge a second time or reported as failed).
// A thread of the shield's own reads them from a signalfd as they come, says that the write goes
// on and notes what was asked; Lift() acts on it.
struct InterruptShield::State {
  sigset_t previousMask{};
  int signalFd = -1;
  int stopPipe[2] = {-1, -1};
  std::thread reader;
  std::atomic<bool> end{false};
  std::atomic<int> stop{0};

  void Note(int number, bool say) {
    // A signal the program ignores (a hang-up under nohup) asks for nothing.
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
    for (const HeldSignal& s : kHeld) {
      if (s.number != number) continue;
      if (s.ends) {
        end = true;
      } else {
        stop = number;
      }
    }
    // Straight to the descriptor: the main thread may be in the middle of its own output.
    if (say) {
      [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kNote, sizeof kNote - 1);
    }
  }

  void Read() {
    for (;;) {
      pollfd fds[2] = {{signalFd, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      signalfd_siginfo info{};
      if (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        Note(static_cast<int>(info.ssi_signo), true);
      }
    }
  }

  void StopReader() {
    if (reader.joinable()) {
      [[maybe_unused]] const ssize_t written = write(stopPipe[1], "x", 1);
      reader.join();
    }
    for (int fd : {signalFd, stopPipe[0], stopPipe[1]}) {
      if (fd >= 0) close(fd);
    }
    signalFd = stopPipe[0] = stopPipe[1] = -1;
  }
};

InterruptShield::InterruptShield() : state_(std::make_unique<State>()) {
  const sigset_t held = HeldSet();
  // The reader thread starts with this mask too: no thread of the program takes them on its own.
  pthread_sigmask(SIG_BLOCK, &held, &state_->previousMask);
  state_->signalFd = signalfd(-1, &held, SFD_CLOEXEC);
  if (state_->signalFd < 0 || pipe2(state_->stopPipe, O_CLOEXEC) != 0) return;
  try {
    state_->reader = std::thread([state = state_.get()] { state->Read(); });
  } catch (const std::system_error&) {
    // Without the reader they are still held; Lift() finds them pending, without a note.
  }
}

InterruptShield::~InterruptShield() { Lift(); }

bool InterruptShield::Lift() {
  if (!state_) return false;
  const std::unique_ptr<State> state = std::move(state_);
  state->StopReader();
  // What arrived after the reader stopped, or was sent to this thread alone, is still pending.
  const sigset_t held = HeldSet();
  const timespec now{0, 0};
  siginfo_t info{};
  while (sigtimedwait(&held, &info, &now) > 0) state->Note(info.si_signo, false);
  // The program ends with the result: a second Ctrl-C must not cut short the saving of its files.
  if (state->end) return true;
  pthread_sigmask(SIG_SETMASK, &state->previousMask, nullptr);
  if (state->stop != 0) raise(state->stop);
  return false;
}

}  // namespace corvane::app::cli
