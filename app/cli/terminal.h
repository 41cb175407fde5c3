// The few things the CLI asks of the terminal.
#pragma once

#include <string>

namespace corvane::app::cli {

bool StdinIsTerminal();
bool StdoutIsTerminal();
// Reads one line from standard input; false at its end.
bool ReadAnswerLine(std::string& line);

// While it lives, Ctrl-C and SIGTERM do not end the program but only print a note: a bridge whose
// flash is left half-written may not start again. The previous handling comes back afterwards.
class InterruptShield {
 public:
  InterruptShield();
  ~InterruptShield();
  InterruptShield(const InterruptShield&) = delete;
  InterruptShield& operator=(const InterruptShield&) = delete;
};

}  // namespace corvane::app::cli
