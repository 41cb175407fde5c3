// corvane-update: the Corvane Update Tool on the command line.
#include "app/cli/cli_main.h"

int main(int argc, char** argv) { return corvane::app::cli::RunCommandLine(argc, argv); }
