// The tool's own files on Linux: every name below the folder is reached through the folder's
// descriptor (openat, renameat2, linkat), so a link or pipe planted at the name is never followed
// or opened, whoever runs the tool.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <random>

#include "device/file_io.h"

namespace corvane::device {
namespace {

std::string ErrorText(int error) { return std::strerror(error); }

// One descriptor, closed on every path out.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Adopt(int fd) {
    Reset();
    fd_ = fd;
  }
  // Closes now; false when close reports that written data may not have reached the file.
  bool Reset() {
    const bool ok = fd_ < 0 || close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

// "a folder", "a pipe (FIFO)", ... for everything that is not a regular file.
std::string KindText(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a pipe (FIFO)";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

std::string NotAFile(const std::string& path, mode_t mode) {
  if (S_ISLNK(mode)) return path + " is a symbolic link; name the file itself";
  return path + " is " + KindText(mode) + ", not a file";
}

struct SplitPath {
  std::string folder;  // "." for the current folder
  std::string name;
};

bool Split(const std::string& path, SplitPath& split, std::string& error) {
  const std::size_t slash = path.find_last_of('/');
  split.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  split.name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (split.name.empty() || split.name == "." || split.name == "..") {
    error = "'" + path + "' names no file";
    return false;
  }
  return true;
}

bool OpenFolder(const std::string& folder, Descriptor& fd, struct stat& info, std::string& error) {
  fd.Adopt(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid() || fstat(fd.Get(), &info) != 0) {
    error = "the folder " + folder + " cannot be opened (" + ErrorText(errno) + ")";
    return false;
  }
  return true;
}

// Root writing into a folder that belongs to someone else (a user's home reached through sudo)
// hands what it made to that folder's owner.
void GiveToFolderOwner(int fd, const struct stat& folder) {
  if (geteuid() != 0 || folder.st_uid == 0) return;
  if (fchown(fd, folder.st_uid, folder.st_gid) != 0) {
    // Left to root; the file is still private (0600) and whole.
  }
}

// Empty when `name` in the folder is missing or a regular file; otherwise why it is refused.
std::string JudgeTarget(int folderFd, const std::string& name, const std::string& path) {
  struct stat info {};
  if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? std::string() : path + " cannot be looked at (" + ErrorText(errno) + ")";
  }
  return S_ISREG(info.st_mode) ? std::string() : NotAFile(path, info.st_mode);
}

// A new private file in the folder, made exclusively and never through a link. On failure
// `error` holds the system's words only.
bool OpenTemporary(int folderFd, const struct stat& folder, const std::string& base,
                   Descriptor& fd, std::string& temporary, std::string& error) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device random;
  const std::string stem = "." + base.substr(0, 200) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = stem;
    for (int i = 0; i < 8; ++i) temporary += kDigits[random() % 36];
    temporary += ".part";
    const int opened = openat(folderFd, temporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (opened >= 0) {
      fd.Adopt(opened);
      // The umask may take bits away, never add them; 0600 whatever it is.
      if (fchmod(opened, 0600) != 0) {
        error = ErrorText(errno);
        unlinkat(folderFd, temporary.c_str(), 0);
        return false;
      }
      GiveToFolderOwner(opened, folder);
      return true;
    }
    if (errno != EEXIST) break;
  }
  error = ErrorText(errno);
  return false;
}

bool WriteAndFlush(Descriptor& fd, std::span<const std::uint8_t> bytes, std::string& error) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "cannot write (" + ErrorText(n < 0 ? errno : ENOSPC) + ")";
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd.Get()) != 0) {
    error = "cannot flush to the disk (" + ErrorText(errno) + ")";
    return false;
  }
  if (!fd.Reset()) {
    error = "cannot close (" + ErrorText(errno) + ")";
    return false;
  }
  return true;
}

// Puts the temporary file at `name` without replacing anything: EEXIST when the name is taken.
int PlaceWithoutReplacing(int folderFd, const std::string& temporary, const std::string& name) {
  if (renameat2(folderFd, temporary.c_str(), folderFd, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the no-replace rename: a hard link is never made over a name either.
  if (linkat(folderFd, temporary.c_str(), folderFd, name.c_str(), 0) != 0) return errno;
  unlinkat(folderFd, temporary.c_str(), 0);
  return 0;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.ends_with('/') ? folder + name : folder + "/" + name;
}

std::string ParentOf(const std::string& folder) {
  const std::size_t slash = folder.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : folder.substr(0, slash);
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

FileRead ReadFileBounded(const std::string& path, const ReadLimit& limit,
                         std::vector<std::uint8_t>& bytes, std::string& problem) {
  bytes.clear();
  // A device is not even opened (opening some has effects of its own); the descriptor's own
  // kind below is what counts, should the name be swapped in between.
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    const int failed = errno;
    problem = failed == ENOENT ? path + " does not exist"
                               : path + " cannot be read (" + ErrorText(failed) + ")";
    return failed == ENOENT ? FileRead::Missing : FileRead::Refused;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = NotAFile(path, info.st_mode);
    return FileRead::Refused;
  }
  Descriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) {
    const int failed = errno;
    problem = path + " cannot be read (" + ErrorText(failed) + ")";
    return failed == ENOENT ? FileRead::Missing : FileRead::Refused;
  }
  if (fstat(fd.Get(), &info) != 0) {
    problem = path + " cannot be read (" + ErrorText(errno) + ")";
    return FileRead::Refused;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = NotAFile(path, info.st_mode);
    return FileRead::Refused;
  }
  auto tooLarge = [&](std::uint64_t size) {
    problem = FileTooLargeText(path, limit, size);
    bytes.clear();
    return FileRead::Refused;
  };
  if (static_cast<std::uint64_t>(info.st_size) > limit.maxBytes) return tooLarge(info.st_size);
  // Read to its end but never past one byte over the limit: a file that grew since fstat (or
  // whose size the file system does not know) is refused too.
  bytes.reserve(static_cast<std::size_t>(info.st_size) + 1);
  std::uint8_t chunk[64 * 1024];
  for (;;) {
    const std::uint64_t room = limit.maxBytes + 1 - bytes.size();
    const ssize_t n = read(fd.Get(), chunk, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, room)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      problem = path + " cannot be read (" + ErrorText(errno) + ")";
      bytes.clear();
      return FileRead::Refused;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
    if (bytes.size() > limit.maxBytes) return tooLarge(bytes.size());
  }
  return FileRead::Read;
}

std::string CheckFileTarget(const std::string& path) {
  SplitPath split;
  std::string error;
  if (!Split(path, split, error)) return error;
  Descriptor folder;
  struct stat folderInfo {};
  if (!OpenFolder(split.folder, folder, folderInfo, error)) return path + ": " + error;
  if (std::string refused = JudgeTarget(folder.Get(), split.name, path); !refused.empty()) return refused;
  Descriptor trial;
  std::string temporary;
  if (!OpenTemporary(folder.Get(), folderInfo, split.name, trial, temporary, error)) {
    return path + " cannot be written: the folder " + split.folder + " takes no new file (" +
           error + ")";
  }
  unlinkat(folder.Get(), temporary.c_str(), 0);
  return {};
}

std::string CheckFolderTakesNewFiles(const std::string& folderPath) {
  const std::string name = folderPath.empty() ? "." : folderPath;
  Descriptor folder;
  struct stat folderInfo {};
  std::string error;
  if (!OpenFolder(name, folder, folderInfo, error)) return error;
  Descriptor trial;
  std::string temporary;
  if (!OpenTemporary(folder.Get(), folderInfo, "corvane-update", trial, temporary, error)) {
    return "the folder " + name + " takes no new file (" + error + ")";
  }
  unlinkat(folder.Get(), temporary.c_str(), 0);
  return {};
}

bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        std::string& error) {
  SplitPath split;
  if (!Split(path, split, error)) return false;
  Descriptor folder;
  struct stat folderInfo {};
  if (!OpenFolder(split.folder, folder, folderInfo, error)) return false;
  if (std::string refused = JudgeTarget(folder.Get(), split.name, path); !refused.empty()) {
    error = refused;
    return false;
  }
  Descriptor fd;
  std::string temporary;
  if (!OpenTemporary(folder.Get(), folderInfo, split.name, fd, temporary, error)) {
    error = "cannot create a new file beside " + path + " (" + error + ")";
    return false;
  }
  bool ok = WriteAndFlush(fd, bytes, error);
  if (!ok) error = "the new " + path + ": " + error;
  // Looked at again just before the rename: what stands there now is what would be replaced.
  if (ok) {
    if (std::string refused = JudgeTarget(folder.Get(), split.name, path); !refused.empty()) {
      error = refused;
      ok = false;
    }
  }
  if (ok && renameat(folder.Get(), temporary.c_str(), folder.Get(), split.name.c_str()) != 0) {
    error = "cannot rename the new file onto " + path + " (" + ErrorText(errno) + ")";
    ok = false;
  }
  if (!ok) {
    unlinkat(folder.Get(), temporary.c_str(), 0);
    return false;
  }
  fsync(folder.Get());
  return true;
}

std::optional<std::string> WriteNewFile(const std::string& folderPath, const std::string& stem,
                                        const std::string& extension,
                                        std::span<const std::uint8_t> bytes, std::string& error) {
  const std::string folderName = folderPath.empty() ? "." : folderPath;
  Descriptor folder;
  struct stat folderInfo {};
  if (!OpenFolder(folderName, folder, folderInfo, error)) return std::nullopt;
  Descriptor fd;
  std::string temporary;
  if (!OpenTemporary(folder.Get(), folderInfo, stem + extension, fd, temporary, error)) {
    error = "cannot create a new file in " + folderName + " (" + error + ")";
    return std::nullopt;
  }
  if (!WriteAndFlush(fd, bytes, error)) {
    error = "a new file in " + folderName + ": " + error;
    unlinkat(folder.Get(), temporary.c_str(), 0);
    return std::nullopt;
  }
  for (int n = 1; n <= 1000; ++n) {
    const std::string name = n == 1 ? stem + extension : stem + "-" + std::to_string(n) + extension;
    const int failed = PlaceWithoutReplacing(folder.Get(), temporary, name);
    if (failed == 0) {
      fsync(folder.Get());
      return Join(folderPath, name);
    }
    if (failed != EEXIST) {
      error = "cannot name the new file " + Join(folderPath, name) + " (" + ErrorText(failed) + ")";
      break;
    }
    if (n == 1000) error = "every name from " + stem + extension + " on is taken";
  }
  unlinkat(folder.Get(), temporary.c_str(), 0);
  return std::nullopt;
}

bool MakePrivateFolder(const std::string& folderPath, std::string& error) {
  std::string folder = folderPath;
  while (folder.size() > 1 && folder.ends_with('/')) folder.pop_back();
  if (folder.empty()) return true;
  struct stat info {};
  if (stat(folder.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    error = folder + " is " + KindText(info.st_mode) + ", not a folder";
    return false;
  }
  if (errno != ENOENT) {
    error = "the folder " + folder + " cannot be looked at (" + ErrorText(errno) + ")";
    return false;
  }
  const std::string parent = ParentOf(folder);
  if (parent != folder && !MakePrivateFolder(parent, error)) return false;
  struct stat parentInfo {};
  if (stat(parent.c_str(), &parentInfo) != 0) {
    error = "the folder " + parent + " cannot be looked at (" + ErrorText(errno) + ")";
    return false;
  }
  if (mkdir(folder.c_str(), 0700) != 0) {
    const int failed = errno;
    // Made by another run at the same moment: taken as it is.
    if (failed == EEXIST && stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    error = "the folder " + folder + " cannot be made (" + ErrorText(failed) + ")";
    return false;
  }
  Descriptor made(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (made.Valid()) {
    if (fchmod(made.Get(), 0700) != 0) {
      // mkdir gave it 0700 less the umask: no more open than that.
    }
    GiveToFolderOwner(made.Get(), parentInfo);
  }
  return true;
}

}  // namespace corvane::device
