// The user's data folder on Windows, read through the wide environment so that a user name
// outside the ANSI code page survives.
#include "app/cli/backup_files.h"
#include "device/windows/wide_text.h"

namespace corvane::app::cli {

std::string DefaultBackupFolder(std::string& error, bool simulated) {
  using device::windows::EnvironmentUtf8;
  const std::string tail =
      simulated ? "\\corvane-update\\backups\\simulated" : "\\corvane-update\\backups";
  const auto local = EnvironmentUtf8(L"LOCALAPPDATA");
  if (local && !local->empty()) return *local + tail;
  const auto profile = EnvironmentUtf8(L"USERPROFILE");
  if (profile && !profile->empty()) return *profile + "\\AppData\\Local" + tail;
  error = "neither LOCALAPPDATA nor USERPROFILE names a folder for the backups";
  return {};
}

std::string_view BackupFolderAdvice() {
  return "Make sure %LOCALAPPDATA%\\corvane-update\\backups can be created (or set LOCALAPPDATA to a "
         "writable folder)";
}

}  // namespace corvane::app::cli
