// The console handler that InterruptShield installs on Windows. The tests call it as Windows does:
// on a thread of its own.
#pragma once

#include <windows.h>

namespace corvane::app::cli {

// Ctrl-C and Ctrl-Break: a note, and the program goes on. Closing the console, logging off and
// shutting down cannot be refused by a console program: Windows ends it when the handler returns,
// or at the latest when its time-out runs out, so the handler says so and holds on until the
// adaptor's write is over.
BOOL WINAPI HoldOffConsoleEvent(DWORD event);
// How many calls of the handler are holding on for the write right now.
int ConsoleEventsHeld();

}  // namespace corvane::app::cli
