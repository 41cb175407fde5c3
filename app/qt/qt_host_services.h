// Host services of the window program: real sleeps, traces on standard error, and the device layer's
// one error box as a Qt message box. While an adaptor is written, logind blocks shutdown, sleep and
// idle, and the desktop session blocks logout and suspend; when either cannot be had, the debug
// channel says so and the write goes on.
#pragma once

#include <exception>
#include <string_view>

#include "device/host_services.h"
#include "device/linux/inhibit/inhibitors.h"

namespace corvane::app::qt {

class QtHostServices : public device::HostServices {
 public:
  void SleepMs(std::uint32_t ms) override;
  void DebugOutput(std::string_view text) override;
  void ShowErrorBox(std::string_view text, std::string_view caption) override;
  void AdaptorWriteBegins() override;
  void AdaptorWriteEnds() override;

 private:
  device::linuxdev::LogindInhibitor logind_;
  device::linuxdev::DesktopInhibitor desktop_;
};

// One line on standard error, "corvane-update-tool: <text>", begun on a line of its own when the
// last debug trace did not end one.
void WriteErrorLine(std::string_view text);

// Shows what escaped an event handler in the application's error box (captioned with the
// application title) and lets the message loop go on.
void ShowHandlerError(const char* what);

// Runs `handler`, catching everything it throws, as the framework's message loop does.
template <typename Handler>
void RunGuarded(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowHandlerError(error.what());
  } catch (...) {
    ShowHandlerError("");
  }
}

}  // namespace corvane::app::qt
