#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "app/cli/terminal.h"

namespace corvane::app::cli {

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool ReadAnswerLine(std::string& line) { return static_cast<bool>(std::getline(std::cin, line)); }

namespace {

struct sigaction gPreviousInt {};
struct sigaction gPreviousTerm {};

void SayWait(int) {
  static const char kNote[] =
      "\nThe firmware is being written; stopping now could leave the adaptor unusable. "
      "Please wait for the update to finish.\n";
  // write(2) is safe inside a signal handler; its result cannot be acted on here.
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kNote, sizeof kNote - 1);
}

}  // namespace

InterruptShield::InterruptShield() {
  struct sigaction action {};
  action.sa_handler = SayWait;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // the device calls in progress go on undisturbed
  sigaction(SIGINT, &action, &gPreviousInt);
  sigaction(SIGTERM, &action, &gPreviousTerm);
}

InterruptShield::~InterruptShield() {
  sigaction(SIGINT, &gPreviousInt, nullptr);
  sigaction(SIGTERM, &gPreviousTerm, nullptr);
}

}  // namespace corvane::app::cli
