// `backup` and `restore`: the adaptor's own firmware area and NVRAM block, saved to a file and
// written back from one.
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
#include "device/file_io.h"
#include "device/platform.h"
#include "firmware/chip_profiles.h"
#include "firmware/flash_programming.h"

namespace corvane::app::cli {
namespace {

constexpr std::string_view kStatusRestoreComplete = "Restore complete";
constexpr std::string_view kStatusRestoreFail = "Restore Fail";

bool Restorable(Outcome outcome) {
  return outcome == Outcome::Current || outcome == Outcome::UpdateOffered ||
         outcome == Outcome::Unlisted;
}

// The outcomes on which neither verb goes on: printed as `check` prints them.
int StopAtCheck(const CliOptions& options, Backend& backend, const DeviceOutcome& outcome,
                int exitCode, nlohmann::json j) {
  if (options.json) {
    j["result"] = OutcomeName(outcome.outcome);
    j["check"] = OutcomeJson(outcome);
    backend.PrintJsonResult(j);
  } else {
    std::cout << DescribeOutcome(outcome);
    PrintCheckHints(outcome);
  }
  return exitCode;
}

// What the restore needs of a window: the chip, the progress bar, and where it gave up.
class RestoreContext : public firmware::UpdateContext {
 public:
  RestoreContext(std::uint8_t chip, PhaseProgress& phases) : chip_(chip), phases_(phases) {}
  std::uint8_t ChipCode() const override { return chip_; }
  void SetProgress(int percent) override { phases_.Writing(percent); }
  void ProcessPendingMessages() override {}
  void ReportFailure(const firmware::UpdateFailure& failure) override { failures.push_back(failure); }
  std::vector<firmware::UpdateFailure> failures;

 private:
  std::uint8_t chip_;
  PhaseProgress& phases_;
};

std::string BackupSummary(const firmware::AdaptorBackup& backup) {
  return ChipNameText(backup.chipCode) + " firmware " + VersionText(backup.firmwareVersion) +
         (backup.romMode ? " (boot ROM: NVRAM block only)" : "") + ", taken " +
         ShownText(backup.IdentityValue("taken"));
}

}  // namespace

int RunBackup(const CliOptions& options, Backend& backend) {
  nlohmann::json j;
  BackupTarget target;
  std::string error;
  if (!PrepareBackupTarget(options.output, target, error, firmware::AdaptorIsSimulated())) {
    const std::string reason = "no backup can be saved (" + error + "); nothing was sent to the adaptor";
    if (options.json) {
      j["result"] = "fail";
      j["reason"] = reason;
      backend.PrintJsonResult(j);
    } else {
      std::cerr << "Backup failed: " << ShownLine(reason) << '\n';
    }
    return kExitUpdateFailed;
  }
  HeadlessView view;
  TForm1 form(view);
  int exitCode = kExitOk;
  const auto checked = ScanAndCheck(options, form, view, exitCode);
  if (!checked) return exitCode;
  if (!Restorable(checked->outcome)) return StopAtCheck(options, backend, *checked, exitCode, j);

  SavedBackup saved;
  const bool ok = TakeBackup(target, *checked, saved, error);
  j["result"] = ok ? "saved" : "fail";
  j["reason"] = ok ? nlohmann::json(nullptr) : nlohmann::json(error);
  j["file"] = ok ? nlohmann::json(saved.file) : nlohmann::json(nullptr);
  j["path"] = checked->checkedPath;
  j["chip"] = ChipNameText(checked->check.chipCode);
  j["chipCode"] = checked->check.chipCode;
  j["firmware"] = ok ? nlohmann::json(VersionText(saved.backup.firmwareVersion)) : nlohmann::json(nullptr);
  j["romMode"] = ok && saved.backup.romMode;
  j["firmwareAreaBytes"] = ok ? saved.backup.firmwareArea.size() : 0;
  j["nvramBytes"] = ok ? saved.backup.nvram.size() : 0;
  if (options.json) {
    backend.PrintJsonResult(j);
  } else if (ok) {
    std::cout << "device: " << ProductText(*checked)
              << "\npath: " << ShownLine(checked->checkedPath)
              << "\nbackup: " << ShownLine(saved.file)
              << "\nholds: " << BackupSummary(saved.backup) << "; "
              << saved.backup.firmwareArea.size() << " bytes of firmware area, "
              << saved.backup.nvram.size() << " bytes of NVRAM\n";
  } else {
    std::cerr << "Backup failed: " << ShownLine(error) << '\n';
  }
  return ok ? kExitOk : kExitUpdateFailed;
}

int RunRestore(const CliOptions& options, Backend& backend) {
  nlohmann::json j;
  j["file"] = *options.backupFile;
  j["fromOtherAdaptor"] = options.fromOtherAdaptor;
  j["notes"] = nlohmann::json::array();
  j["backup"] = nullptr;
  auto refuse = [&](const std::string& reason) {
    if (options.json) {
      j["result"] = "refused";
      j["reason"] = reason;
      backend.PrintJsonResult(j);
    } else {
      std::cerr << "Restore refused: " << ShownLine(reason) << '\n';
    }
    return kExitRefused;
  };
  // The file is judged on its own before any command is sent; only a regular file of a backup's
  // size is read at all.
  std::vector<std::uint8_t> bytes;
  std::string error;
  firmware::AdaptorBackup backup;
  if (device::ReadFileBounded(*options.backupFile, {kMaxBackupFileBytes, "a backup"}, bytes, error) !=
      device::FileRead::Read) {
    return refuse(error + "; nothing was sent to the adaptor");
  }
  if (const std::string bad = firmware::DecodeBackup(bytes, backup); !bad.empty()) {
    return refuse(*options.backupFile + ": " + bad + "; nothing was sent to the adaptor");
  }
  j["backupChip"] = ChipNameText(backup.chipCode);
  j["backupFirmware"] = VersionText(backup.firmwareVersion);
  // Somewhere to keep the adaptor's current contents must exist before it is asked anything.
  BackupTarget backupTarget;
  if (!options.noBackup &&
      !PrepareBackupTarget(std::nullopt, backupTarget, error, firmware::AdaptorIsSimulated())) {
    return refuse("no backup of the adaptor's current contents can be saved (" + error +
                  "); nothing was sent to the adaptor. Add --no-backup to restore without one");
  }

  HeadlessView view;
  TForm1 form(view);
  int exitCode = kExitOk;
  const auto before = ScanAndCheck(options, form, view, exitCode);
  if (!before) return exitCode;
  if (!Restorable(before->outcome)) return StopAtCheck(options, backend, *before, exitCode, j);
  if (!options.json) std::cout << DescribeOutcome(*before);
  j["path"] = before->checkedPath;
  j["chip"] = ChipNameText(before->check.chipCode);
  j["chipCode"] = before->check.chipCode;
  j["firmwareBefore"] = VersionText(before->check.version);

  // The adaptor's own chip and identity against the backup's, and the backup's content: all
  // before the question, and again by the restore itself before its first write.
  const firmware::RestoreOptions restoreOptions{options.fromOtherAdaptor};
  const firmware::RestorePlan plan =
      firmware::PlanRestore(before->checkedPath, backup, restoreOptions);
  if (plan.verdict != firmware::RestoreVerdict::Go) {
    std::string reason = plan.reason + "; nothing was written";
    if (plan.verdict == firmware::RestoreVerdict::OtherAdaptor) {
      reason += ". Add --from-other-adaptor to write only its firmware area; this adaptor then "
                "keeps its own NVRAM block";
    }
    return refuse(reason);
  }
  for (const std::string& note : plan.notes) {
    j["notes"].push_back(note);
    if (!options.json) std::cout << "note: " << note << '\n';
  }
  const std::string question = "Restore the backup " + ShownLine(*options.backupFile) + " (" +
                               BackupSummary(backup) + ") onto " + ProductText(*before) +
                               ", which now runs " + VersionText(before->check.version) +
                               (plan.writeNvram ? "" : ", its firmware area only") +
                               "? The adaptor must stay connected until the tool says it is done.";
  if (!Confirmed(options, question, error)) return refuse(error);

  // What the adaptor holds now is saved first, so that a wrong restore can itself be undone.
  std::optional<std::string> savedFile;
  if (!options.noBackup) {
    SavedBackup saved;
    if (!TakeBackup(backupTarget, *before, saved, error)) {
      return refuse("the backup of the adaptor's current contents could not be made (" + error +
                    "); nothing was written. Add --no-backup to restore without one");
    }
    savedFile = saved.file;
    j["backup"] = saved.file;
    if (!options.json) std::cout << "backup: " << ShownLine(saved.file) << '\n';
  }

  ProgressPrinter progress(options.json ? ProgressPrinter::Style::Silent
                           : StdoutIsTerminal() ? ProgressPrinter::Style::Bar
                                                : ProgressPrinter::Style::Lines);
  const firmware::ChipProfile* chip = firmware::FindChipProfile(backup.chipCode);
  PhaseProgress phases(progress, chip->firmwareArea, 2);
  // The chip the check identified on this adaptor, not the backup's: the restore compares the two.
  RestoreContext context(before->check.chipCode, phases);
  const device::CommandLog* log = device::ActivePlatform().log;
  const std::uint64_t logStart = log != nullptr ? log->Sequence() : 0;
  backend.SetCommandObserver([&phases](const device::TraceEntry& entry) { phases.Command(entry); });
  bool complete = false;
  if (!options.json) std::cout << "status: Restoring\n" << std::flush;
  {
    device::AdaptorWriteScope writing(device::ActiveHost());
    complete = firmware::RestoreAdaptorBackup(context, before->checkedPath, backup, restoreOptions);
  }
  backend.SetCommandObserver(nullptr);
  progress.Finish();

  UpdateRunResult run;
  run.outcome = complete ? RunOutcome::Complete : RunOutcome::Fail;
  run.path = before->checkedPath;
  run.chipCode = backup.chipCode;
  run.failures = context.failures;
  if (!complete && log != nullptr) run.failedCommand = log->LastFailedSince(logStart);
  const std::string reason = DescribeRunFailure(run);
  j["result"] = complete ? "complete" : "fail";
  j["status"] = complete ? kStatusRestoreComplete : kStatusRestoreFail;
  j["reason"] = complete ? nlohmann::json(nullptr) : nlohmann::json(reason);
  if (!options.json) {
    std::cout << "status: " << (complete ? kStatusRestoreComplete : kStatusRestoreFail) << '\n';
    if (!complete) std::cout << "reason: " << ShownLine(reason) << '\n';
  }
  // Asked to end while it wrote: the result is out, nothing more is done.
  const bool ended = backend.ActOnHeldInterruptions();
  const auto after = ended ? std::nullopt : ReplugAndRescan(backend, form, view, before->checkedPath);
  j["firmwareAfter"] = after && after->firmware ? nlohmann::json(*after->firmware) : nlohmann::json(nullptr);
  j["romModeAfter"] = after && after->firmware && after->romMode;
  j["rescanStatus"] = after ? nlohmann::json(after->rescanStatus) : nlohmann::json(nullptr);
  if (options.json) {
    backend.PrintJsonResult(j);
  } else if (after) {
    std::cout << "re-plugged: " << ShownLine(before->checkedPath) << '\n';
    if (after->firmware) {
      std::cout << "firmware after: " << *after->firmware << (after->romMode ? " (boot ROM)" : "") << '\n';
    }
    std::cout << "rescan status: " << after->rescanStatus << '\n';
  } else if (complete && !ended) {
    std::cout << "Unplug the adaptor, plug it in again and run 'corvane-update check'.\n";
  }
  if (!options.json && !complete && savedFile) {
    std::cout << "The adaptor's contents before this restore are saved in " << ShownLine(*savedFile)
              << "; 'corvane-update restore' writes them back.\n";
  }
  return complete ? kExitOk : kExitUpdateFailed;
}

}  // namespace corvane::app::cli
