// The user's data folder and the atomic file write on Linux (POSIX calls).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/cli/backup_files.h"

namespace corvane::app::cli {
namespace {

std::string Errno() { return std::strerror(errno); }

// The folder's entry for the renamed file reaches the disk too.
void SyncFolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

std::string DefaultBackupFolder(std::string& error) {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/corvane-update/backups";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return std::string(home) + "/.local/share/corvane-update/backups";
  }
  error = "neither XDG_DATA_HOME nor HOME names a folder for the backups";
  return {};
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error) {
  const std::string temporary = path + ".part-" + std::to_string(getpid());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot create " + temporary + ": " + Errno();
    return false;
  }
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "cannot write " + temporary + ": " + Errno();
      ok = false;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  if (ok && fsync(fd) != 0) {
    error = "cannot flush " + temporary + " to the disk: " + Errno();
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    error = "cannot close " + temporary + ": " + Errno();
    ok = false;
  }
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot rename " + temporary + " to " + path + ": " + Errno();
    ok = false;
  }
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  SyncFolderOf(path);
  return true;
}

}  // namespace corvane::app::cli
