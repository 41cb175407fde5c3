// The main window's logic, free of any toolkit: the scan, the update check, the update run and the
// device-change watch, written once against FormView.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/device_scan.h"
#include "app/form_view.h"
#include "app/update_check.h"
#include "app/update_run.h"
#include "firmware/update_context.h"

namespace corvane::app {

inline constexpr std::uint32_t kRescanTimerId = 101;
inline constexpr std::uint32_t kRescanDelayMs = 500;
// A close request that came during an update run: the window closes this long after the run has
// shown its result (timer kCloseTimerId), so the user sees how the update ended.
inline constexpr std::uint32_t kCloseTimerId = 102;
inline constexpr std::uint32_t kCloseAfterResultMs = 3000;
// Period of the busy animation.
inline constexpr std::uint32_t kAnimationPeriodMs = 500;
// After a check on Windows 7 or later, system prompts are closed this many times, 2 ms apart.
inline constexpr int kPromptCloseRounds = 101;
inline constexpr std::uint32_t kPromptCloseSleepMs = 2;

// The animation frame for counter n (n = 1, 2, 3, ...): "LOADING2", "LOADING3", "LOADING1", ...
std::string_view AnimationFrameName(int counter);

// The canonical name of a carried picture matched without regard to case ("Good" -> "GOOD");
// empty when no picture has that name.
std::string_view CanonicalPictureName(std::string_view name);

// What assistive technology calls a carried picture (canonical name): "Up to date" for the
// thumbs-up, "Update available", "Failed", "Working" for the turning arrows, the tool's name for
// the banner; empty for anything else.
std::string_view PictureAccessibleName(std::string_view canonical);

using DeviceEntry = std::string;  // a lower-cased device path, at most 255 characters

class TForm1 : public firmware::UpdateContext {
 public:
  explicit TForm1(FormView& view);
  ~TForm1() override = default;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The body of the window's construction: runs the first scan (which may go on into the update
  // check), before the window is first shown. The front end starts its animation thread first.
  void Start();
  // After Start: registers for device-change events and sets the caption.
  void FormCreate();

  // Handlers.
  void btn_RefreshClick();  // the scan
  void CheckForUpdate();    // the update check of the selected device
  void btn_updClick();      // the update run
  void btn_ExitClick();
  void lblStaustClick();    // the user's only way to start the update run
  void WMDeviceChange(std::uint32_t eventCode);
  void WMTimer(std::uintptr_t timerId);
  // The user asks to close the window (close box, system menu, window manager). True: close now.
  // While an update run works the window stays on screen, since a user who saw it go might pull
  // the adaptor out in the middle of the flash write; the request is kept and carried out
  // kCloseAfterResultMs after the run has shown its result.
  bool FormCloseQuery();

  // Puts a carried picture, named without regard to case, into a picture control. Unknown names
  // are a build fault: nothing is shown.
  void ShowResourcePicture(ControlId image, std::string_view name);

  // UpdateContext: what the flash programming and the NVRAM rewrite need.
  std::uint8_t ChipCode() const override;
  void SetProgress(int percent) override;
  void ProcessPendingMessages() override;
  void ReportFailure(const firmware::UpdateFailure& failure) override;

  // True while a scan, check or update run is working (messages are let through inside them).
  bool Busy() const { return busyDepth_ > 0; }
  // What the last scan found (outcome NotRun before the first scan), and how many scans ran.
  const ScanResult& LastScan() const { return lastScan_; }
  int ScanCount() const { return scanCount_; }
  // What the last check decided (NoDevice before the first check).
  const UpdateCheckResult& LastCheck() const { return lastCheck_; }
  // What the last update run came to (NotRun before the first run).
  const UpdateRunResult& LastRun() const { return lastRun_; }
  int RunCount() const { return runCount_; }
  // True from the start of an update run to its end (UpdateInProgress may be cleared earlier by a
  // removal).
  bool UpdateRunning() const { return updateRunning_; }
  // Whether lblStaust currently takes clicks.
  bool StatusEnabled() const { return statusEnabled_; }
  // How many path slots the scan gives discovery (the window's default is kScanPathSlots).
  void SetScanSlotCount(std::size_t slots) { scanSlots_ = slots; }
  // The platform's words for a user who may not open an attached adaptor.
  void SetAccessAdvice(std::string_view text) { accessAdvice_ = text; }

  // State of the scan and the update run.
  std::array<DeviceEntry, kMaxListedDisks> DeviceEntries{};
  int FoundDiskCount = 0;
  std::uint16_t ChipId = 0;
  int UpdateInProgress = 0;  // 1 while an update run works

 private:
  // Marks the form busy while a scan, check or run works; rescans that come due meanwhile wait.
  class BusyScope {
   public:
    explicit BusyScope(TForm1& form) : form_(form) { ++form_.busyDepth_; }
    ~BusyScope() { --form_.busyDepth_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    TForm1& form_;
  };
  void SetStatus(std::string_view text, bool enabled);
  void ShowResult(std::string_view picture, std::string_view status, bool statusEnabled);
  void ShowNoDevice();
  void Scan();
  void Check();
  void UpdateRun();
  void ClosePromptsAfterCheck();
  void RunDeferredRescans();
  const DeviceEntry* SelectedEntry() const;

  FormView& view_;
  int busyDepth_ = 0;
  bool rescanDue_ = false;      // a rescan came due while busy; it runs once the work returns
  bool accessReported_ = false; // the lack-of-rights notice is showing for the current situation
  bool statusEnabled_ = false;
  bool updateRunning_ = false;
  bool closeRequested_ = false;  // a close request waits for the update run's result
  std::size_t scanSlots_ = device::kScanPathSlots;
  std::string_view accessAdvice_;
  ScanResult lastScan_;
  int scanCount_ = 0;
  UpdateCheckResult lastCheck_;
  UpdateRunResult lastRun_;
  int runCount_ = 0;
  UpdateRunResult currentRun_;
};

}  // namespace corvane::app
