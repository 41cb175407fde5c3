// The attached devices of this computer as one platform's backend reaches them. Each OS's backend
// (device/linux, device/windows) defines OpenSystemDevices; the window programs, the command line
// and the end-to-end build wire their platform through it instead of assembling the pieces.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "device/device_events.h"
#include "device/platform.h"

namespace corvane::device {

class SystemDevices {
 public:
  virtual ~SystemDevices() = default;
  virtual ScsiPort& Port() = 0;
  virtual DiskSource& Disks() = 0;
  virtual HostServices& Host() = 0;
  // The log of the commands sent, which the scan and the update run read.
  virtual CommandLog& Log() = 0;
  // The device-change watch, opened on first use; nullptr with `error` set (in words for the user)
  // when the platform refuses it.
  virtual DeviceEventSource* OpenEvents(std::string& error) = 0;

  // The pieces as the process-wide platform; `host` replaces the backend's own host services.
  Platform AsPlatform(HostServices* host = nullptr) {
    return Platform{&Port(), &Disks(), host != nullptr ? host : &Host(), &Log()};
  }
};

struct SystemDevicesOptions {
  // Puts something around the platform's own port (the end-to-end build's guard, a tracer).
  std::function<std::unique_ptr<ScsiPort>(std::unique_ptr<ScsiPort>)> wrapPort;
};

// The live devices of the platform this program was built for.
std::unique_ptr<SystemDevices> OpenSystemDevices(const SystemDevicesOptions& options = {});

// What a user who lacks the rights to an adaptor does about it, in this platform's words.
struct PlatformAdvice {
  std::string_view accessDenied;  // the window's and the CLI's explanation
  std::string_view commandLine;   // one more line for the CLI (run it elevated once)
};
const PlatformAdvice& AdviceForThisPlatform();

}  // namespace corvane::device
