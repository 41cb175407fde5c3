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

  // An adaptor's flash or NVRAM is about to be written (Begins) and the writing with its
  // read-back is over, whether it succeeded or not (Ends). In between, a bridge cut off may be
  // left running only its boot ROM: the platform keeps the machine from sleeping or shutting
  // down and holds off whatever would end the program. Called in pairs, never nested, through
  // AdaptorWriteScope. The default does nothing (tests, the simulator's own host).
  virtual void AdaptorWriteBegins() {}
  virtual void AdaptorWriteEnds() {}

  // The waits between Begin and End are a few milliseconds each and must last what they say; on
  // Windows a 2 ms sleep otherwise lasts a whole timer period (about 15.6 ms). Called in pairs,
  // never nested, through PreciseWaitScope. The default does nothing.
  virtual void PreciseWaitsBegin() {}
  virtual void PreciseWaitsEnd() {}
};

// Brackets one write of an adaptor, from before its first write command to after its last
// read-back, on every path out.
class AdaptorWriteScope {
 public:
  explicit AdaptorWriteScope(HostServices& host) : host_(host) { host_.AdaptorWriteBegins(); }
  ~AdaptorWriteScope() { host_.AdaptorWriteEnds(); }
  AdaptorWriteScope(const AdaptorWriteScope&) = delete;
  AdaptorWriteScope& operator=(const AdaptorWriteScope&) = delete;

 private:
  HostServices& host_;
};

class PreciseWaitScope {
 public:
  explicit PreciseWaitScope(HostServices& host) : host_(host) { host_.PreciseWaitsBegin(); }
  ~PreciseWaitScope() { host_.PreciseWaitsEnd(); }
  PreciseWaitScope(const PreciseWaitScope&) = delete;
  PreciseWaitScope& operator=(const PreciseWaitScope&) = delete;

 private:
  HostServices& host_;
};

// Real time, traces to standard error, error boxes to standard error: a safe default.
class StandardHostServices : public HostServices {
 public:
  void SleepMs(std::uint32_t ms) override;
  void DebugOutput(std::string_view text) override;
  void ShowErrorBox(std::string_view text, std::string_view caption) override;
};

}  // namespace corvane::device
