#include "app/form.h"

#include <cstdio>

#include "app/form_texts.h"
#include "device/chip_identification.h"
#include "device/platform.h"

namespace corvane::app {

using namespace device;

TForm1::TForm1(FormView& view) : view_(view) {}

void TForm1::Start() { btn_RefreshClick(); }

void TForm1::FormCreate() {
  view_.RegisterDeviceNotifications();
  view_.SetCaption(kWindowCaption);
}

void TForm1::btn_ExitClick() { view_.CloseWindow(); }

void TForm1::ShowResourcePicture(ControlId image, std::string_view name) {
  const std::string_view canonical = CanonicalPictureName(name);
  if (canonical.empty()) return;
  view_.ShowPicture(image, canonical);
}

std::uint8_t TForm1::ChipCode() const { return ChipCodeOf(ChipId); }
void TForm1::SetProgress(int percent) { view_.SetProgress(percent); }
void TForm1::ProcessPendingMessages() { view_.ProcessPendingMessages(); }
void TForm1::ReportFailure(const firmware::UpdateFailure& failure) {
  currentRun_.failures.push_back(failure);
}

void TForm1::SetStatus(std::string_view text, bool enabled) {
  view_.SetStatusText(text);
  statusEnabled_ = enabled;
  view_.SetStatusEnabled(enabled);
}

// A result picture ends the busy animation.
void TForm1::ShowResult(std::string_view picture, std::string_view status, bool statusEnabled) {
  ShowResourcePicture(ControlId::Image3, picture);
  view_.SetVisible(ControlId::Image2, false);
  view_.SetVisible(ControlId::Image3, true);
  SetStatus(status, statusEnabled);
}

// Nothing that can be updated: the list holds only the placeholder item and takes no choice.
void TForm1::ShowNoDevice() {
  ShowResourcePicture(ControlId::Image3, kPictureCross);
  view_.ClearDeviceList();
  view_.AddDeviceItem(kNoAvailableDevice);
  view_.SelectDeviceItem(0);
  view_.SetDeviceListEnabled(false);
  view_.SetVisible(ControlId::Image2, false);
  view_.SetVisible(ControlId::Image3, true);
  SetStatus(kStatusNoDevice, false);
}

const DeviceEntry* TForm1::SelectedEntry() const {
  const int index = view_.SelectedDeviceIndex();
  if (index < 0 || index >= kMaxListedDisks) return nullptr;
  return &DeviceEntries[static_cast<std::size_t>(index)];
}

void TForm1::RunDeferredRescans() {
  while (busyDepth_ == 0 && rescanDue_) {
    rescanDue_ = false;
    BusyScope busy(*this);
    Scan();
  }
}

void TForm1::btn_RefreshClick() {
  // Started again from inside a running operation's message processing: the device table is in
  // use there, so the scan waits until that operation has returned.
  if (Busy()) {
    rescanDue_ = true;
    return;
  }
  {
    BusyScope busy(*this);
    Scan();
  }
  RunDeferredRescans();
}

void TForm1::Scan() {
  ShowResourcePicture(ControlId::Image1, kPictureBackground);
  view_.SetVisible(ControlId::Image2, true);
  view_.SetVisible(ControlId::Image3, false);
  SetStatus(kStatusLooking, false);
  view_.ProcessPendingMessages();

  ScanHooks hooks;
  hooks.probing = [this] { view_.ClearDeviceList(); };
  hooks.listing = [this](const ListedDevice& device) {
    SetStatus(kStatusGettingModel, false);
    view_.ProcessPendingMessages();
    view_.AddDeviceItem(device.ItemText());
  };
  hooks.limitReached = [this] {
    char text[64];
    std::snprintf(text, sizeof text, kLimitWarningFormat.data(), kMaxListedDisks);
    view_.ShowWarningBox(text, kLimitWarningCaption);
  };
  const ScanResult scan = ScanBridgeDevices(hooks, scanSlots_);
  lastScan_ = scan;
  ++scanCount_;

  FoundDiskCount = scan.foundDiskCount;
  ChipId = scan.lastChipId;
  if (scan.foundDiskCount == 0) {
    ShowNoDevice();
  } else {
    const std::size_t listed = scan.listed.size();
    for (std::size_t row = 0; row < listed; ++row) DeviceEntries[row] = scan.listed[row].path;
    if (scan.trailingUnlistedPath && listed < DeviceEntries.size()) {
      DeviceEntries[listed] = *scan.trailingUnlistedPath;
    }
    view_.SetDeviceListEnabled(true);
    if (listed == 0) view_.AddDeviceItem("");
    view_.SelectDeviceItem(0);
    if (listed <= 1) {
      CheckForUpdate();
    } else {
      view_.SetVisible(ControlId::btn_upd, false);
      ShowResult(kPictureCross, kStatusSeveral, false);
    }
  }

  // Adaptors that this user may not open look like no adaptor at all; say why, once for as long
  // as the situation lasts.
  if (scan.listed.empty() && scan.accessDenied) {
    if (!accessReported_) {
      view_.ShowAccessProblem(accessAdvice_.empty() ? kAccessDeniedText : accessAdvice_,
                              kAccessDeniedCaption);
    }
    accessReported_ = true;
  } else {
    accessReported_ = false;
  }
}

void TForm1::CheckForUpdate() {
  if (FoundDiskCount == 0) return;
  {
    BusyScope busy(*this);
    Check();
  }
  RunDeferredRescans();
}

void TForm1::Check() {
  const DeviceEntry* entry = SelectedEntry();
  UpdateCheckResult result;
  if (entry != nullptr) {
    UpdateCheckHooks hooks;
    hooks.checking = [this] {
      SetStatus(kStatusChecking, false);
      view_.ProcessPendingMessages();
    };
    // The path is copied: the check must not depend on the table while messages are handled.
    const std::string path = *entry;
    result = RunUpdateCheck(path, hooks);
  } else {
    // No selection names no device: nothing to identify.
    result.kind = CheckResultKind::NotSupported;
    result.failedGate = CheckGate::ChipCode;
  }
  ChipId = result.chipId;

  if (result.verdict) {
    CheckResultKind shown = CheckResultKind::Unlisted;
    if (*result.verdict == VersionVerdict::Current) shown = CheckResultKind::Current;
    if (*result.verdict == VersionVerdict::UpdateOffered) shown = CheckResultKind::UpdateOffered;
    ShowResult(CheckResultPicture(shown), CheckResultStatusText(shown, result.chipCode),
               shown == CheckResultKind::UpdateOffered);
  }
  view_.ProcessPendingMessages();
  if (result.failedGate != CheckGate::None) ShowNoDevice();
  lastCheck_ = result;
  ClosePromptsAfterCheck();
}

// The shell may raise its own prompt (e.g. to format a drive it cannot read) while the drive is
// examined; on Windows it is closed for about 200 ms after every check.
void TForm1::ClosePromptsAfterCheck() {
  if (!(view_.IsWindows7To81() || view_.IsWindows8Or81() || view_.IsWindows10())) return;
  HostServices& host = ActiveHost();
  PreciseWaitScope precise(host);
  for (int round = 0; round < kPromptCloseRounds; ++round) {
    view_.CloseSystemPromptDialog();
    host.SleepMs(kPromptCloseSleepMs);
  }
}

}  // namespace corvane::app
