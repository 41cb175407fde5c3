#include "app/cli/arguments.h"

namespace corvane::app::cli {

std::vector<std::string> CommandLineUtf8(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace corvane::app::cli
