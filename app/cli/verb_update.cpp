// `update`: the window's update run on the checked adaptor, with the checks a command line needs
// before it writes anything (offer, confirmation, placeholder images).
#include <algorithm>
#include <iostream>

#include "app/cli/backup_files.h"
#include "app/cli/backup_session.h"
#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/progress_printer.h"
#include "app/cli/scan_session.h"
#include "app/cli/shown_text.h"
#include "app/cli/terminal.h"
#include "app/cli/verbs.h"
#include "app/form_texts.h"
#include "firmware/chip_profiles.h"
#include "firmware/flash_programming.h"

namespace corvane::app::cli {
namespace {

constexpr std::string_view kPlaceholderAdvice =
    "This build carries placeholder firmware images, not the chip maker's, and never writes them "
    "into a real adaptor. Build with -DCORVANE_FIRMWARE_DIR=<folder with KTS210_FW.bin, "
    "KTS260_V234_01_00_01.bin and KTS260_ROM_MFG.bin> to update real adaptors, or try the update "
    "with --simulate NAME.";

struct UpdateReport {
  std::string result;  // "complete", "fail", "refused" or the check's outcome name
  std::string status;  // the window's status text
  std::string reason;
  const DeviceOutcome* before = nullptr;
  std::optional<std::string> firmwareAfter;
  bool romModeAfter = false;
  std::optional<std::string> rescanStatus;
  std::optional<std::string> backupFile;
  bool forced = false;
};

nlohmann::json ReportJson(const UpdateReport& report) {
  nlohmann::json j;
  j["result"] = report.result;
  j["status"] = report.status;
  j["reason"] = report.reason.empty() ? nlohmann::json(nullptr) : nlohmann::json(report.reason);
  j["forced"] = report.forced;
  nlohmann::json before = report.before ? OutcomeJson(*report.before) : nlohmann::json::object();
  j["path"] = before.value("path", nlohmann::json(nullptr));
  j["chip"] = before.value("chip", nlohmann::json(nullptr));
  j["chipCode"] = before.value("chipCode", nlohmann::json(nullptr));
  j["check"] = before.value("result", nlohmann::json(nullptr));
  j["firmwareBefore"] = before.value("firmware", nlohmann::json(nullptr));
  j["firmwareAfter"] =
      report.firmwareAfter ? nlohmann::json(*report.firmwareAfter) : nlohmann::json(nullptr);
  j["romModeAfter"] = report.firmwareAfter && report.romModeAfter;
  j["rescanStatus"] =
      report.rescanStatus ? nlohmann::json(*report.rescanStatus) : nlohmann::json(nullptr);
  j["offeredFirmware"] = before.value("offeredFirmware", nlohmann::json(nullptr));
  j["romMode"] = before.value("romMode", false);
  j["backup"] = report.backupFile ? nlohmann::json(*report.backupFile) : nlohmann::json(nullptr);
  return j;
}

int Finish(const CliOptions& options, Backend& backend, const UpdateReport& report, int exitCode) {
  if (options.json) {
    backend.PrintJsonResult(ReportJson(report));
  } else if (report.result == "refused") {
    std::cerr << "Update refused: " << ShownLine(report.reason) << '\n';
  }
  return exitCode;
}

}  // namespace

int RunUpdate(const CliOptions& options, Backend& backend) {
  // Somewhere to keep the backup must exist before the adaptor is even asked anything.
  BackupTarget backupTarget;
  if (!options.noBackup) {
    std::string error;
    if (!PrepareBackupTarget(std::nullopt, backupTarget, error, firmware::AdaptorIsSimulated())) {
      UpdateReport report;
      report.result = "refused";
      report.reason = "no backup can be saved (" + error +
                      "); nothing was sent to the adaptor. " + std::string(BackupFolderAdvice()) +
                      ", or add --no-backup to update without a backup";
      return Finish(options, backend, report, kExitRefused);
    }
  }
  HeadlessView view;
  TForm1 form(view);
  int exitCode = kExitOk;
  const auto before = ScanAndCheck(options, form, view, exitCode);
  if (!before) return exitCode;
  if (!options.json) std::cout << DescribeOutcome(*before);

  UpdateReport report;
  report.before = &*before;
  report.status = before->status;
  report.result = std::string(OutcomeName(before->outcome));
  report.forced = options.force && before->outcome == Outcome::Current;

  switch (before->outcome) {
    case Outcome::UpdateOffered:
      break;
    case Outcome::Current:
      if (options.force) break;
      report.result = "refused";
      report.reason = "the firmware is current; add --force to write it again";
      return Finish(options, backend, report, kExitRefused);
    case Outcome::Unlisted:
      report.result = "refused";
      report.reason = OutcomeReason(*before);
      return Finish(options, backend, report, kExitRefused);
    case Outcome::NotSupported:
      // Never written to, --force or not: the check could not confirm an updatable bridge.
      report.reason = OutcomeReason(*before) + "; the device is not a supported Corvane adaptor, "
                      "nothing was written";
      if (!options.json) std::cerr << "Update refused: " << ShownLine(report.reason) << '\n';
      return Finish(options, backend, report, exitCode);
    case Outcome::NoDevice:
    case Outcome::Several:
      if (!options.json) PrintCheckHints(*before);
      return Finish(options, backend, report, exitCode);
  }

  if (firmware::PlaceholderImagesBlockWrite()) {
    report.result = "refused";
    report.reason = std::string(kPlaceholderAdvice);
    return Finish(options, backend, report, kExitRefused);
  }
  const std::string fromVersion =
      before->check.chipInfoRead ? VersionText(before->check.version) : std::string("?");
  const std::string question = "Update " + ProductText(*before) + " from " + fromVersion + " to " +
                               OfferedVersionText(before->check.chipCode) +
                               "? The adaptor must stay connected until the tool says it is done.";
  if (!Confirmed(options, question, report.reason)) {
    report.result = "refused";
    return Finish(options, backend, report, kExitRefused);
  }

  if (!options.noBackup) {
    SavedBackup saved;
    std::string error;
    if (!TakeBackup(backupTarget, *before, saved, error)) {
      report.result = "refused";
      report.reason = "the backup could not be made (" + error +
                      "); nothing was written. Add --no-backup to update without a backup";
      return Finish(options, backend, report, kExitRefused);
    }
    report.backupFile = saved.file;
    if (!options.json) {
      std::cout << "backup: " << ShownLine(saved.file) << '\n';
      if (saved.backup.romMode) {
        std::cout << "backup note: the bridge runs its boot ROM, which cannot read its flash "
                     "back; the backup holds the NVRAM block only\n";
      }
    }
  }

  ProgressPrinter progress(options.json ? ProgressPrinter::Style::Silent
                           : StdoutIsTerminal() ? ProgressPrinter::Style::Bar
                                                : ProgressPrinter::Style::Lines);
  const firmware::ChipProfile* chip = firmware::FindChipProfile(before->check.chipCode);
  PhaseProgress phases(progress, chip != nullptr ? chip->firmwareArea : 0, 3);
  view.onProgress = [&phases](int percent) { phases.Writing(percent); };
  backend.SetCommandObserver([&phases](const device::TraceEntry& entry) { phases.Command(entry); });
  if (!options.json) std::cout << "status: " << kStatusUpdating << '\n' << std::flush;
  if (before->outcome == Outcome::UpdateOffered) {
    form.lblStaustClick();  // the user's click on the offer
  } else {
    form.btn_updClick();    // --force on a current bridge: the same run, without the offer
  }
  backend.SetCommandObserver(nullptr);
  view.onProgress = nullptr;
  progress.Finish();

  report.status = view.StatusText();
  const UpdateRunResult& run = form.LastRun();
  const bool complete = run.outcome == RunOutcome::Complete;
  report.result = complete ? "complete" : "fail";
  if (!complete) report.reason = DescribeRunFailure(run);
  if (!options.json) {
    std::cout << "status: " << report.status << '\n';
    if (!complete) std::cout << "reason: " << ShownLine(report.reason) << '\n';
  }
  const int runExit = complete ? kExitOk : kExitUpdateFailed;
  // Asked to end while it wrote: the result is out, nothing more is done.
  if (backend.ActOnHeldInterruptions()) return Finish(options, backend, report, runExit);

  // A virtual adaptor is re-plugged as a user would do, and the window's watch would rescan.
  if (const auto after = ReplugAndRescan(backend, form, view, before->checkedPath)) {
    report.firmwareAfter = after->firmware;
    report.romModeAfter = after->romMode;
    report.rescanStatus = after->rescanStatus;
    if (!options.json) {
      std::cout << "re-plugged: " << ShownLine(before->checkedPath) << '\n';
      if (after->firmware) {
        std::cout << "firmware after: " << *after->firmware << (after->romMode ? " (boot ROM)" : "")
                  << '\n';
      }
      std::cout << "rescan status: " << after->rescanStatus << '\n';
    }
  } else if (!options.json && complete) {
    std::cout << "Unplug the adaptor, plug it in again and run 'corvane-update check'.\n";
  }
  if (!options.json && !complete && report.backupFile) {
    std::cout << "The adaptor's earlier firmware and NVRAM are saved in "
              << ShownLine(*report.backupFile)
              << "; 'corvane-update restore' writes them back.\n";
  }
  return Finish(options, backend, report, runExit);
}

}  // namespace corvane::app::cli
