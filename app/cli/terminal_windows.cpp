// The terminal on Windows: the console's handles, and while the firmware is written, Ctrl-C and
// Ctrl-Break turned into a note, a console close, logoff or shutdown held off as long as Windows
// allows, and Windows asked not to end the session (docs/windows.md).
#include "app/cli/terminal_windows.h"

#include <io.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <memory>

#include "app/cli/terminal.h"
#include "device/windows/session_end_block.h"

namespace corvane::app::cli {

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

bool ReadAnswerLine(std::string& line) { return static_cast<bool>(std::getline(std::cin, line)); }

namespace {

std::atomic<int> gHeld{0};
// A Ctrl-C or Ctrl-Break came while the shield was up: the program ends once the result is out.
std::atomic<bool> gEndRequested{false};
// Windows gives the session's end to top-level windows only, and a console program that loads
// user32 (this one does) no longer gets CTRL_LOGOFF_EVENT or CTRL_SHUTDOWN_EVENT: a hidden window
// of its own refuses the end and names the reason while the shield is up.
std::unique_ptr<device::windows::HiddenSessionEndBlock> gSessionEndBlock;

// Manual-reset and set while no write goes on. Made once and kept for the life of the process: a
// handler may still be waiting on it when the shield has gone.
HANDLE NoWriteEvent() {
  static const HANDLE event = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
  return event;
}

void SayWait(const char* note) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), note, static_cast<DWORD>(std::strlen(note)),
              &written, nullptr);
}

}  // namespace

BOOL WINAPI HoldOffConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      SayWait(
          "\nThe firmware is being written; stopping now could leave the adaptor unusable. "
          "The program ends once the result is known.\n");
      gEndRequested = true;
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      SayWait(
          "\nThe firmware is being written; Windows is ending this program. It goes on writing "
          "for as long as Windows lets it.\n");
      ++gHeld;
      ::WaitForSingleObject(NoWriteEvent(), INFINITE);
      --gHeld;
      return TRUE;  // the write is over: Windows may end the program now
    default:
      return FALSE;
  }
}

int ConsoleEventsHeld() { return gHeld.load(); }

struct InterruptShield::State {};

InterruptShield::InterruptShield() : state_(std::make_unique<State>()) {
  gEndRequested = false;
  ::ResetEvent(NoWriteEvent());
  gSessionEndBlock =
      std::make_unique<device::windows::HiddenSessionEndBlock>(device::windows::SystemApi());
  ::SetConsoleCtrlHandler(HoldOffConsoleEvent, TRUE);
}

InterruptShield::~InterruptShield() { Lift(); }

bool InterruptShield::Lift() {
  if (!state_) return false;
  state_.reset();
  ::SetConsoleCtrlHandler(HoldOffConsoleEvent, FALSE);
  ::SetEvent(NoWriteEvent());
  gSessionEndBlock.reset();
  // A Ctrl-C or Ctrl-Break held meanwhile ends the program now, with the result's exit code.
  return gEndRequested.exchange(false);
}

// Windows has no SIGPIPE: a write to a closed pipe fails and the program goes on.
void IgnoreBrokenPipes() {}

}  // namespace corvane::app::cli
