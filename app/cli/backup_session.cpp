#include "app/cli/backup_session.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "app/cli/backup_files.h"
#include "app/cli/shown_text.h"
#include "app/cli/terminal.h"

namespace corvane::app::cli {

bool PrepareBackupTarget(const std::optional<std::string>& output, BackupTarget& target,
                         std::string& error, bool simulated) {
  target = BackupTarget{};
  if (output) {
    target.file = *output;
    const std::filesystem::path parent = std::filesystem::path(*output).parent_path();
    return parent.empty() || EnsureFolder(parent.string(), error);
  }
  target.folder = DefaultBackupFolder(error);
  if (target.folder.empty()) return false;
  if (simulated) target.folder = (std::filesystem::path(target.folder) / "simulated").string();
  return EnsureFolder(target.folder, error);
}

bool TakeBackup(const BackupTarget& target, const DeviceOutcome& checked, SavedBackup& saved,
                std::string& error) {
  const std::string reason = firmware::ReadAdaptorBackup(checked.checkedPath, checked.check.chipCode,
                                                         UtcTimeText(), saved.backup);
  if (!reason.empty()) {
    error = reason;
    return false;
  }
  if (target.file) {
    saved.file = *target.file;
  } else {
    // Named after what it holds; a second backup in the same second gets a number.
    const std::string stem = (std::filesystem::path(target.folder) /
                              (ChipNameText(saved.backup.chipCode) + "-" +
                               VersionText(saved.backup.firmwareVersion) + "-" +
                               UtcTimeForFileName()))
                                 .string();
    saved.file = stem + ".cvbackup";
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(saved.file, ec); ++n) {
      saved.file = stem + "-" + std::to_string(n) + ".cvbackup";
    }
  }
  const std::vector<std::uint8_t> bytes = firmware::EncodeBackup(saved.backup);
  if (!WriteFileAtomically(saved.file, bytes, error)) return false;
  return true;
}

std::string ProductText(const DeviceOutcome& checked) {
  if (!checked.row) return ShownLine(checked.checkedPath);
  const ListedDevice& row = checked.listed[*checked.row];
  return ShownText(TrimmedText(row.model)) + " (" + TrimmedText(std::string(BusPrefix(row.bus))) +
         ")";
}

bool Confirmed(const CliOptions& options, const std::string& question, std::string& reason) {
  if (options.yes) return true;
  if (!StdinIsTerminal()) {
    reason = "no terminal to ask for confirmation; add --yes to go ahead without asking";
    return false;
  }
  std::cerr << ShownLine(question) << " [y/N] " << std::flush;
  std::string answer;
  if (!ReadAnswerLine(answer)) answer.clear();
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (answer == "y" || answer == "yes") return true;
  reason = "not confirmed";
  return false;
}

std::optional<AfterWrite> ReplugAndRescan(Backend& backend, TForm1& form, HeadlessView& view,
                                          const std::string& path) {
  if (!backend.Simulated() || !backend.ReplugSimulated(path)) return std::nullopt;
  form.btn_RefreshClick();
  std::optional<std::size_t> row;
  if (form.FoundDiskCount > 0) row = CheckListedDevice(form, view, path);
  const DeviceOutcome after = ReadOutcome(form, view, row);
  AfterWrite result;
  if (after.check.chipInfoRead && row) {
    result.firmware = VersionText(after.check.version);
    result.romMode = after.check.romMode;
  }
  result.rescanStatus = after.status;
  return result;
}

}  // namespace corvane::app::cli
