// The program's command line as UTF-8 texts, argv[0] first.
#pragma once

#include <string>
#include <vector>

namespace corvane::app::cli {

// On Windows from the wide command line (GetCommandLineW), because `argv` there is in the ANSI
// code page and loses every character outside it; elsewhere `argv` as it is.
std::vector<std::string> CommandLineUtf8(int argc, char** argv);

}  // namespace corvane::app::cli
