// The platform seam for waiting, debugger traces and the device layer's one message box.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane::device {

class HostServices {
 public:
  virtual ~HostServices() = default;
  // Blocks for ms milliseconds (virtual time in tests and the simulator).
  virtual void SleepMs(std::uint32_t ms) = 0;
  // Writes text to the debugger/trace channel as it stands (no line end is added).
  virtual void DebugOutput(std::string_view text) = 0;
  // Modal error box without owner: text, caption, error icon, one OK button.
  virtual void ShowErrorBox(std::string_view text, std::string_view caption) = 0;
};

// Real time, traces to standard error, error boxes to standard error: a safe default.
class StandardHostServices : public HostServices {
 public:
  void SleepMs(std::uint32_t ms) override;
  void DebugOutput(std::string_view text) override;
  void ShowErrorBox(std::string_view text, std::string_view caption) override;
};

}  // namespace corvane::device
