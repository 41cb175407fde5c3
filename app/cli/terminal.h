// The few things the CLI asks of the terminal.
#pragma once

#include <string>

namespace corvane::app::cli {

bool StdinIsTerminal();
bool StdoutIsTerminal();
// Reads one line from standard input; false at its end.
bool ReadAnswerLine(std::string& line);

}  // namespace corvane::app::cli
