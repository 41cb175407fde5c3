// The Windows backend as one SystemDevices: the pass-through port, the SetupDi disk source, the
// host services and the device-change watch, all over one WinApi.
#pragma once

#include <memory>

#include "device/system_devices.h"
#include "device/windows/win_api.h"

namespace corvane::device::windows {

// The same backend that OpenSystemDevices builds over the real Windows, over any WinApi (the demo
// and the tests pass an EmulatedWinApi). The result shares ownership of `api`.
std::unique_ptr<SystemDevices> OpenWindowsDevices(std::shared_ptr<WinApi> api,
                                                  const SystemDevicesOptions& options = {});

}  // namespace corvane::device::windows
