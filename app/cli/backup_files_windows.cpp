// The user's data folder and the atomic file write on Windows.
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "app/cli/backup_files.h"

namespace corvane::app::cli {
namespace {

std::string LastError() { return "Windows error " + std::to_string(GetLastError()); }

}  // namespace

std::string DefaultBackupFolder(std::string& error) {
  const char* local = std::getenv("LOCALAPPDATA");
  if (local != nullptr && local[0] != '\0') return std::string(local) + "\\corvane-update\\backups";
  const char* profile = std::getenv("USERPROFILE");
  if (profile != nullptr && profile[0] != '\0') {
    return std::string(profile) + "\\AppData\\Local\\corvane-update\\backups";
  }
  error = "neither LOCALAPPDATA nor USERPROFILE names a folder for the backups";
  return {};
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error) {
  const std::string temporary = path + ".part-" + std::to_string(GetCurrentProcessId());
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot create " + temporary + ": " + LastError();
    return false;
  }
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      error = "cannot write " + temporary + ": " + LastError();
      ok = false;
    } else {
      done += written;
    }
  }
  if (ok && !FlushFileBuffers(file)) {
    error = "cannot flush " + temporary + " to the disk: " + LastError();
    ok = false;
  }
  CloseHandle(file);
  if (ok && !MoveFileExA(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = "cannot rename " + temporary + " to " + path + ": " + LastError();
    ok = false;
  }
  if (!ok) DeleteFileA(temporary.c_str());
  return ok;
}

}  // namespace corvane::app::cli
