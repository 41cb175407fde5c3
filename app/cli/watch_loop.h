// What `watch` waits for, behind one small interface per platform: device events, lines on
// standard input (commands for virtual adaptors), and a request to stop (Ctrl-C, SIGTERM, closing
// the console).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/device_events.h"

namespace corvane::app::cli {

struct WatchWakeUp {
  std::vector<std::uint32_t> events;  // device-change codes that arrived, in order
  std::vector<std::string> lines;     // whole lines read from standard input
  bool inputEnded = false;            // standard input reached its end
};

class WatchLoop {
 public:
  virtual ~WatchLoop() = default;
  // True once the user asked the watch to stop.
  virtual bool StopRequested() const = 0;
  // Waits up to timeoutMs (negative: without limit) for something to arrive and returns it; an
  // empty wake-up after a time-out or a stop request.
  virtual WatchWakeUp Wait(int timeoutMs) = 0;
};

// The platform's loop over `events` (may be nullptr) and, when readInput, standard input. It
// catches the stop requests while it lives.
std::unique_ptr<WatchLoop> MakeWatchLoop(device::DeviceEventSource* events, bool readInput);

}  // namespace corvane::app::cli
