// The Windows backend as one SystemDevices: the pass-through port, the SetupDi disk source, the
// host services and the device-change watch, all over one WinApi.
#pragma once

#include <memory>

#include "device/system_devices.h"
#include "device/windows/emulated_disk_list.h"
#include "device/windows/win_api.h"

namespace corvane::device::windows {

// The same backend that OpenSystemDevices builds over the real Windows, over any WinApi (the demo
// and the tests pass an EmulatedWinApi). The result shares ownership of `api`.
std::unique_ptr<SystemDevices> OpenWindowsDevices(std::shared_ptr<WinApi> api,
                                                  const SystemDevicesOptions& options = {});

// The Windows backend over the emulated storage stack: SetupDi lists `disks`, and every
// pass-through request the backend hands to Windows is decoded and sent to `inner` (the
// simulator's port), which must outlive the result. The emulator keeps no log of its calls, so
// a long demo does not grow.
std::unique_ptr<SystemDevices> OpenEmulatedWindowsDevices(EmulatedDiskLister disks,
                                                          ScsiPort& inner);

}  // namespace corvane::device::windows
