// `check`: the window's scan and update check, with the window's status text.
#include <iostream>

#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/scan_session.h"
#include "app/cli/shown_text.h"
#include "app/cli/verbs.h"
#include "device/system_devices.h"

namespace corvane::app::cli {

std::optional<DeviceOutcome> ScanAndCheck(const CliOptions& options, TForm1& form,
                                          HeadlessView& view, int& exitCode) {
  form.SetAccessAdvice(device::AdviceForThisPlatform().accessDenied);
  form.Start();
  std::optional<std::size_t> row;
  if (options.device && form.FoundDiskCount > 0) {
    row = CheckListedDevice(form, view, *options.device);
    if (!row) {
      std::cerr << "No listed adaptor has the path '" << ShownLine(*options.device)
                << "'; 'corvane-update list' shows the paths of the attached adaptors.\n";
      exitCode = kExitNoDevice;
      return std::nullopt;
    }
  }
  DeviceOutcome outcome = ReadOutcome(form, view, row);
  exitCode = ExitCodeFor(outcome.outcome);
  if (outcome.outcome == Outcome::NoDevice && outcome.accessDenied) exitCode = kExitNoAccess;
  return outcome;
}

void PrintCheckHints(const DeviceOutcome& outcome) {
  if (outcome.outcome == Outcome::Several) {
    std::cerr << "Several adaptors are attached: detach all but one, or name one with --device PATH.\n";
  }
}

int RunCheck(const CliOptions& options, Backend& backend) {
  HeadlessView view;
  TForm1 form(view);
  int exitCode = kExitOk;
  const auto outcome = ScanAndCheck(options, form, view, exitCode);
  if (!outcome) return exitCode;
  if (options.json) {
    backend.PrintJsonResult(OutcomeJson(*outcome));
  } else {
    std::cout << DescribeOutcome(*outcome);
    PrintCheckHints(*outcome);
    if (outcome->outcome == Outcome::UpdateOffered) {
      std::cerr << "Run 'corvane-update update' to install it.\n";
    }
  }
  return exitCode;
}

}  // namespace corvane::app::cli
