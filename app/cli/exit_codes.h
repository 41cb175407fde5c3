// The documented exit codes of corvane-update (docs/cli.md lists them for users and scripts).
#pragma once

namespace corvane::app::cli {

enum ExitCode : int {
  kExitOk = 0,              // list found adaptors; check: current; update: complete
  kExitUsage = 1,           // the command line was not understood (or an unknown scenario)
  kExitNoDevice = 2,        // no adaptor found (or --device names none of the listed ones)
  kExitSeveral = 3,         // several adaptors attached
  kExitNotSupported = 4,    // the device is not a supported Corvane adaptor
  kExitUpdateOffered = 5,   // check: an update is offered
  kExitUpdateFailed = 6,    // update: "Update Fail"
  kExitRefused = 7,         // update: refused before any write (nothing offered, not confirmed, ...)
  kExitUnlisted = 8,        // the bridge runs a firmware version the tool does not list
  kExitNoAccess = 9,        // devices exist but cannot be opened (rights), or the scenario is unusable
  kExitSessionFile = 10,    // the run differs from the replayed recording, or a recording/state was not saved
};

}  // namespace corvane::app::cli
