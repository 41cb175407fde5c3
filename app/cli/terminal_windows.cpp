// The terminal on Windows: the console's handles, and Ctrl-C / Ctrl-Break / closing the console
// turned into a note while the firmware is written.
#include <windows.h>
#include <io.h>

#include <cstdio>
#include <iostream>

#include "app/cli/terminal.h"

namespace corvane::app::cli {

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

bool ReadAnswerLine(std::string& line) { return static_cast<bool>(std::getline(std::cin, line)); }

namespace {

BOOL WINAPI SayWait(DWORD event) {
  static const char kNote[] =
      "\nThe firmware is being written; stopping now could leave the adaptor unusable. "
      "Please wait for the update to finish.\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kNote, sizeof kNote - 1, &written, nullptr);
  // Ctrl-C and Ctrl-Break are held off; closing the console or logging off cannot be refused by a
  // console program, so those end it as before.
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

}  // namespace

struct InterruptShield::State {};

InterruptShield::InterruptShield() : state_(std::make_unique<State>()) {
  SetConsoleCtrlHandler(SayWait, TRUE);
}

InterruptShield::~InterruptShield() { Lift(); }

bool InterruptShield::Lift() {
  if (!state_) return false;
  state_.reset();
  SetConsoleCtrlHandler(SayWait, FALSE);
  return false;
}

// Windows has no SIGPIPE: a write to a closed pipe fails and the program goes on.
void IgnoreBrokenPipes() {}

}  // namespace corvane::app::cli
