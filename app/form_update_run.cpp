// The update run and the device-change watch of TForm1.
#include "app/form.h"
#include "app/form_texts.h"
#include "device/chip_identification.h"
#include "device/device_events.h"
#include "device/platform.h"
#include "firmware/chip_profiles.h"
#include "firmware/flash_programming.h"
#include "firmware/nvram_rewrite.h"

namespace corvane::app {

using namespace device;

void TForm1::lblStaustClick() {
  // A disabled label takes no clicks, whatever the toolkit delivers.
  if (!statusEnabled_ || Busy() || UpdateInProgress != 0) return;
  statusEnabled_ = false;
  view_.SetStatusEnabled(false);
  btn_updClick();
}

void TForm1::btn_updClick() {
  if (Busy() || UpdateInProgress != 0) return;
  {
    BusyScope busy(*this);
    // Cleared however the run ends, so a later close request is never held for good.
    struct Running {
      bool& flag;
      explicit Running(bool& f) : flag(f) { flag = true; }
      ~Running() { flag = false; }
    } running(updateRunning_);
    UpdateRun();
  }
  RunDeferredRescans();
  if (closeRequested_) view_.StartTimer(kCloseTimerId, kCloseAfterResultMs);
}

bool TForm1::FormCloseQuery() {
  if (!updateRunning_) return true;
  closeRequested_ = true;
  return false;
}

void TForm1::UpdateRun() {
  ActiveHost().DebugOutput(kTraceUpdatePressed);
  UpdateInProgress = 1;
  const DeviceEntry* entry = SelectedEntry();
  const std::string path = entry != nullptr ? *entry : std::string();
  const std::uint8_t chipCode = ChipCodeOf(ChipId);
  currentRun_ = UpdateRunResult{};
  currentRun_.path = path;
  currentRun_.chipCode = chipCode;
  const CommandLog* log = ActivePlatform().log;
  const std::uint64_t logStart = log != nullptr ? log->Sequence() : 0;
  view_.ProcessPendingMessages();
  const firmware::ChipProfile* chip = firmware::FindChipProfile(chipCode);

  view_.SetVisible(ControlId::Image2, false);
  view_.SetVisible(ControlId::Image3, false);
  SetStatus(kStatusUpdating, false);
  view_.SetVisible(ControlId::UpdateProgressBar, true);
  view_.ProcessPendingMessages();

  // Only an updatable bridge on a listed row is written to; anything else fails untouched.
  bool complete = false;
  if (entry != nullptr && !path.empty() && chip != nullptr) {
    AdaptorWriteScope writing(ActiveHost());
    complete = firmware::UpdateFirmware(*this, path) &&
               firmware::RewriteNvramVendorStrings(*this, path, chip->nvramAddress);
  } else {
    currentRun_.notUpdatable = true;
  }
  currentRun_.outcome = complete ? RunOutcome::Complete : RunOutcome::Fail;
  if (!complete && log != nullptr) currentRun_.failedCommand = log->LastFailedSince(logStart);
  lastRun_ = currentRun_;
  ++runCount_;

  ShowResourcePicture(ControlId::Image3, complete ? kPictureGoodAsAskedByRun : kPictureCross);
  view_.SetVisible(ControlId::UpdateProgressBar, false);
  view_.SetVisible(ControlId::Image2, false);
  view_.SetVisible(ControlId::Image3, true);
  SetStatus(complete ? kStatusUpdateComplete : kStatusUpdateFail, false);
  view_.ProcessPendingMessages();
  UpdateInProgress = 0;
}

void TForm1::WMDeviceChange(std::uint32_t eventCode) {
  // Arrivals are followed by node-change events; those arm the timer.
  if (eventCode != kDbtDeviceRemoveComplete && eventCode != kDbtDevNodesChanged) return;
  // The adaptor being updated may be the one that went away: the run cannot hold the watch off.
  if (eventCode == kDbtDeviceRemoveComplete) UpdateInProgress = 0;
  if (UpdateInProgress == 0) {
    view_.KillTimer(kRescanTimerId);
    view_.StartTimer(kRescanTimerId, kRescanDelayMs);
  }
}

void TForm1::WMTimer(std::uintptr_t timerId) {
  if (timerId == kCloseTimerId && closeRequested_) {
    view_.KillTimer(kCloseTimerId);
    closeRequested_ = false;
    view_.CloseWindow();
    return;
  }
  if (UpdateInProgress != 0 || timerId != kRescanTimerId) return;
  view_.KillTimer(kRescanTimerId);
  btn_RefreshClick();  // waits for a running operation to return, if any
}

}  // namespace corvane::app
