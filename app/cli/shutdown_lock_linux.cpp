// On Linux: logind's block lock on shutdown, sleep and idle.
#include <iostream>

#include "app/cli/shutdown_lock.h"
#include "device/linux/inhibit/inhibitors.h"

namespace corvane::app::cli {

struct ShutdownLock::Held {
  device::linuxdev::LogindInhibitor logind;
};

ShutdownLock::ShutdownLock() : held_(std::make_unique<Held>()) {
  std::string error;
  if (!held_->logind.Take("corvane-update", "Writing the adaptor's firmware", error)) {
    std::cerr << "corvane-update: no lock against shutdown and sleep could be taken (" << error
              << "); the write goes on without it\n";
  }
}

ShutdownLock::~ShutdownLock() = default;

}  // namespace corvane::app::cli
