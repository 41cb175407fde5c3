// The user's data folder on Linux.
#include <cstdlib>

#include "app/cli/backup_files.h"

namespace corvane::app::cli {

std::string DefaultBackupFolder(std::string& error, bool simulated) {
  const std::string tail = simulated ? "/corvane-update/backups/simulated" : "/corvane-update/backups";
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + tail;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share" + tail;
  error = "neither XDG_DATA_HOME nor HOME names a folder for the backups";
  return {};
}

std::string_view BackupFolderAdvice() { return "Set XDG_DATA_HOME to a writable folder"; }

}  // namespace corvane::app::cli
