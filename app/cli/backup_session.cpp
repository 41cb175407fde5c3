#include "app/cli/backup_session.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/cli/backup_files.h"
#include "app/cli/shown_text.h"
#include "app/cli/terminal.h"
#include "device/file_io.h"

namespace corvane::app::cli {

bool PrepareBackupTarget(const std::optional<std::string>& output, BackupTarget& target,
                         std::string& error, bool simulated) {
  target = BackupTarget{};
  if (output) {
    target.file = *output;
    const std::string parent = device::FolderOf(*output);
    if (!parent.empty() && !device::MakePrivateFolder(parent, error)) return false;
    error = device::CheckFileTarget(*output);
    return error.empty();
  }
  target.folder = DefaultBackupFolder(error, simulated);
  if (target.folder.empty() || !device::MakePrivateFolder(target.folder, error)) return false;
  error = device::CheckFolderTakesNewFiles(target.folder);
  return error.empty();
}

namespace {

// Eight hex digits of the adaptor's identity as the backup records it (chip, firmware, USB ids,
// INQUIRY texts, path), without the time it was taken: two adaptors of one model and firmware
// get different names, the same adaptor the same tag.
std::string IdentityTag(const firmware::AdaptorBackup& backup) {
  std::string identity;
  std::string_view rest = backup.identity;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    if (!line.starts_with("taken:")) identity.append(line).push_back('\n');
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(identity.data());
  char tag[9];
  std::snprintf(tag, sizeof tag, "%08x",
                static_cast<unsigned>(firmware::Crc32({bytes, identity.size()})));
  return tag;
}

}  // namespace

bool TakeBackup(const BackupTarget& target, const DeviceOutcome& checked, SavedBackup& saved,
                std::string& error) {
  const std::string reason = firmware::ReadAdaptorBackup(checked.checkedPath, checked.check.chipCode,
                                                         UtcTimeText(), saved.backup);
  if (!reason.empty()) {
    error = reason;
    return false;
  }
  const std::vector<std::uint8_t> bytes = firmware::EncodeBackup(saved.backup);
  if (target.file) {
    if (!device::WriteFileReplacing(*target.file, bytes, error)) return false;
    saved.file = *target.file;
    return true;
  }
  // Named after what it holds, to the microsecond, and never onto a file that exists: two runs
  // at the same moment each get a file of their own, and the name reported is the one made.
  const std::string stem = ChipNameText(saved.backup.chipCode) + "-" +
                           VersionText(saved.backup.firmwareVersion) + "-" + UtcTimeForFileName() +
                           "-" + IdentityTag(saved.backup);
  const auto made = device::WriteNewFile(target.folder, stem, ".cvbackup", bytes, error);
  if (!made) return false;
  saved.file = *made;
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
