#include <unistd.h>

#include <iostream>

#include "app/cli/terminal.h"

namespace corvane::app::cli {

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool ReadAnswerLine(std::string& line) { return static_cast<bool>(std::getline(std::cin, line)); }

}  // namespace corvane::app::cli
