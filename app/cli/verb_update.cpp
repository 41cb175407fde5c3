// `update`: the window's update run on the checked adaptor, with the checks a command line needs
// before it writes anything (offer, confirmation, placeholder images).
#include <algorithm>
#include <iostream>

#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/progress_printer.h"
#include "app/cli/scan_session.h"
#include "app/cli/terminal.h"
#include "app/cli/verbs.h"
#include "app/form_texts.h"
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
  std::optional<std::string> rescanStatus;
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
  j["rescanStatus"] =
      report.rescanStatus ? nlohmann::json(*report.rescanStatus) : nlohmann::json(nullptr);
  return j;
}

int Finish(const CliOptions& options, const UpdateReport& report, int exitCode) {
  if (options.json) {
    std::cout << JsonText(ReportJson(report), 2) << '\n';
  } else if (report.result == "refused") {
    std::cerr << "Update refused: " << report.reason << '\n';
  }
  return exitCode;
}

// Asks on the terminal; without one, only --yes may let the write go ahead.
bool Confirmed(const CliOptions& options, const DeviceOutcome& outcome, std::string& reason) {
  if (options.yes) return true;
  if (!StdinIsTerminal()) {
    reason = "no terminal to ask for confirmation; add --yes to update without asking";
    return false;
  }
  std::cerr << "Write the carried firmware into " << outcome.checkedPath
            << "? Keep the adaptor attached until the update has finished. [y/N] " << std::flush;
  std::string answer;
  if (!ReadAnswerLine(answer)) answer.clear();
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (answer == "y" || answer == "yes") return true;
  reason = "not confirmed";
  return false;
}

}  // namespace

int RunUpdate(const CliOptions& options, Backend& backend) {
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
      return Finish(options, report, kExitRefused);
    case Outcome::Unlisted:
      report.result = "refused";
      report.reason = "the bridge runs a firmware version this tool does not know; it is left as it is";
      return Finish(options, report, kExitRefused);
    case Outcome::NotSupported:
      // Never written to, --force or not: the check could not confirm an updatable bridge.
      report.reason = "the device is not a supported Corvane adaptor; nothing was written";
      if (!options.json) std::cerr << "Update refused: " << report.reason << '\n';
      return Finish(options, report, exitCode);
    case Outcome::NoDevice:
    case Outcome::Several:
      if (!options.json) PrintCheckHints(*before);
      return Finish(options, report, exitCode);
  }

  if (firmware::PlaceholderImagesBlockWrite()) {
    report.result = "refused";
    report.reason = std::string(kPlaceholderAdvice);
    return Finish(options, report, kExitRefused);
  }
  if (!Confirmed(options, *before, report.reason)) {
    report.result = "refused";
    return Finish(options, report, kExitRefused);
  }

  ProgressPrinter progress(options.json ? ProgressPrinter::Style::Silent
                           : StdoutIsTerminal() ? ProgressPrinter::Style::Bar
                                                : ProgressPrinter::Style::Lines);
  view.onProgress = [&progress](int percent) { progress.Update(percent); };
  view.onProgressHidden = [&progress] { progress.Finish(); };
  if (!options.json) std::cout << "status: " << kStatusUpdating << '\n' << std::flush;
  {
    InterruptShield shield;
    if (before->outcome == Outcome::UpdateOffered) {
      form.lblStaustClick();  // the user's click on the offer
    } else {
      form.btn_updClick();    // --force on a current bridge: the same run, without the offer
    }
  }
  view.onProgress = nullptr;
  view.onProgressHidden = nullptr;

  report.status = view.StatusText();
  const UpdateRunResult& run = form.LastRun();
  const bool complete = run.outcome == RunOutcome::Complete;
  report.result = complete ? "complete" : "fail";
  if (!complete) report.reason = DescribeRunFailure(run);
  if (!options.json) {
    std::cout << "status: " << report.status << '\n';
    if (!complete) std::cout << "reason: " << report.reason << '\n';
  }

  // A virtual adaptor is re-plugged as a user would do, and the window's watch would rescan.
  if (backend.Simulated() && backend.ReplugSimulated(before->checkedPath)) {
    form.btn_RefreshClick();
    std::optional<std::size_t> row;
    if (form.FoundDiskCount > 0) row = CheckListedDevice(form, view, before->checkedPath);
    const DeviceOutcome after = ReadOutcome(form, view, row);
    if (after.check.chipInfoRead && row) report.firmwareAfter = VersionText(after.check.version);
    report.rescanStatus = after.status;
    if (!options.json) {
      std::cout << "re-plugged: " << before->checkedPath << '\n';
      if (report.firmwareAfter) std::cout << "firmware after: " << *report.firmwareAfter << '\n';
      std::cout << "rescan status: " << after.status << '\n';
    }
  } else if (!options.json && complete) {
    std::cout << "Unplug the adaptor, plug it in again and run 'corvane-update check'.\n";
  }
  return Finish(options, report, complete ? kExitOk : kExitUpdateFailed);
}

}  // namespace corvane::app::cli
