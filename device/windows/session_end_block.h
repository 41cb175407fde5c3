// Asking Windows not to end the session while an adaptor is written. A bridge cut off in the middle
// of its flash write may be left running only its boot ROM; Windows lets a program refuse a logoff
// or shutdown (WM_QUERYENDSESSION answered FALSE) and shows the program's reason on the screen where
// the user decides whether to wait or end it anyway. A forced end cannot be refused.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "device/host_services.h"
#include "device/windows/win_api.h"

namespace corvane::device::windows {

inline constexpr wchar_t kAdaptorWriteShutdownReason[] =
    L"Updating the adaptor's firmware. Do not unplug it.";

// The reason registered for `window` from construction to destruction. Windows takes and drops it
// only from the thread that made the window: both ends run there.
class ShutdownBlockReason {
 public:
  ShutdownBlockReason(WinApi& api, HWND window);
  ~ShutdownBlockReason();
  ShutdownBlockReason(const ShutdownBlockReason&) = delete;
  ShutdownBlockReason& operator=(const ShutdownBlockReason&) = delete;
  bool Registered() const { return registered_; }

 private:
  WinApi& api_;
  HWND window_;
  bool registered_;
};

// For a program without a window (the command line): a hidden top-level window (only those are
// asked about the session's end) that carries the reason and answers WM_QUERYENDSESSION with FALSE,
// on a thread of its own, so that it answers at once even while the program's thread waits inside
// a device command. Window() is nullptr when Windows refused the window.
class HiddenSessionEndBlock {
 public:
  explicit HiddenSessionEndBlock(WinApi& api);
  ~HiddenSessionEndBlock();
  HiddenSessionEndBlock(const HiddenSessionEndBlock&) = delete;
  HiddenSessionEndBlock& operator=(const HiddenSessionEndBlock&) = delete;
  HWND Window() const { return window_; }
  bool Registered() const { return registered_; }

 private:
  void Run();

  WinApi& api_;
  std::mutex mutex_;
  std::condition_variable readyChanged_;
  bool ready_ = false;
  HWND window_ = nullptr;
  bool registered_ = false;
  std::thread thread_;
};

// The host services of a window program: the platform's (`inner`), and while an adaptor is
// written, the reason registered for the program's main window and Writing() true, from which the
// window answers WM_QUERYENDSESSION. Writes run on the window's thread.
class WindowWriteGuard : public HostServices {
 public:
  WindowWriteGuard(WinApi& api, HostServices& inner, HWND window)
      : api_(api), inner_(inner), window_(window) {}
  void SleepMs(std::uint32_t ms) override { inner_.SleepMs(ms); }
  void DebugOutput(std::string_view text) override { inner_.DebugOutput(text); }
  void ShowErrorBox(std::string_view text, std::string_view caption) override {
    inner_.ShowErrorBox(text, caption);
  }
  void AdaptorWriteBegins() override;
  void AdaptorWriteEnds() override;
  void PreciseWaitsBegin() override { inner_.PreciseWaitsBegin(); }
  void PreciseWaitsEnd() override { inner_.PreciseWaitsEnd(); }

  bool Writing() const { return writing_; }

 private:
  WinApi& api_;
  HostServices& inner_;
  HWND window_;
  bool writing_ = false;
  std::optional<ShutdownBlockReason> reason_;
};

}  // namespace corvane::device::windows
