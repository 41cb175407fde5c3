// The whole command line: parse, reach the devices, run the verb, return the exit code.
#pragma once

#include "device/system_devices.h"

namespace corvane::app::cli {

// `devices` configures the platform's own device backend (the end-to-end build guards its port).
int RunCommandLine(int argc, char** argv, const device::SystemDevicesOptions& devices = {});

}  // namespace corvane::app::cli
