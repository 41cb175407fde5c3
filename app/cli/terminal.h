// The few things the CLI asks of the terminal.
#pragma once

#include <memory>
#include <string>

namespace corvane::app::cli {

bool StdinIsTerminal();
bool StdoutIsTerminal();
// Reads one line from standard input; false at its end.
bool ReadAnswerLine(std::string& line);

// From the first write to an adaptor until its result has been printed, what would end or stop the
// program (Ctrl-C, SIGTERM, a hang-up, Ctrl-\, Ctrl-Z) is held off: a bridge whose flash is left
// half-written may not start again. Each such request gets a note that the write goes on, and is
// acted on by Lift().
class InterruptShield {
 public:
  InterruptShield();
  ~InterruptShield();  // lifts it, if Lift() was not called
  InterruptShield(const InterruptShield&) = delete;
  InterruptShield& operator=(const InterruptShield&) = delete;

  // Called once the result is printed. A request to stop held meanwhile stops the program here
  // (it goes on when continued). True when a request to end it came meanwhile: the caller then does
  // no further work and ends with the result's own exit code; until then nothing more is held.
  bool Lift();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A write to a closed pipe then fails (EPIPE) instead of ending the program: `update | head` must
// not cut a write short, and the run still ends with its own exit code.
void IgnoreBrokenPipes();

}  // namespace corvane::app::cli
