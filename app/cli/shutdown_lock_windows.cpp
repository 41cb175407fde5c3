// On Windows the host services keep the system awake while an adaptor is written.
#include "app/cli/shutdown_lock.h"

namespace corvane::app::cli {

struct ShutdownLock::Held {};

ShutdownLock::ShutdownLock() = default;
ShutdownLock::~ShutdownLock() = default;

}  // namespace corvane::app::cli
