// The tool's own files on Windows, through the wide API: a UTF-8 path becomes UTF-16 here and
// nowhere else, so a user name outside the ANSI code page reaches the file system intact.
#include <windows.h>

#include <algorithm>
#include <random>

#include "device/file_io.h"
#include "device/windows/wide_text.h"

namespace corvane::device {
namespace {

using windows::WideFromUtf8;
using windows::WindowsErrorText;

class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  void Adopt(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  void Close() {
    if (Valid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "C:" alone means the current folder of drive C; the drive's root is "C:\".
std::string RootedFolder(std::string folder) {
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

enum class Kind { Missing, Regular, Folder, Link, Device, Pipe, Unreadable };

std::string NotAFile(const std::string& path, Kind kind) {
  switch (kind) {
    case Kind::Folder: return path + " is a folder, not a file";
    case Kind::Link: return path + " is a symbolic link or junction; name the file itself";
    case Kind::Device: return path + " is a device, not a file";
    case Kind::Pipe: return path + " is a pipe, not a file";
    default: return path + " is not a regular file";
  }
}

// What the open handle is: a file on a disk, a folder, a link, a device or a pipe.
Kind KindOfHandle(HANDLE handle) {
  const DWORD type = GetFileType(handle);
  if (type == FILE_TYPE_PIPE) return Kind::Pipe;
  if (type != FILE_TYPE_DISK) return Kind::Device;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return Kind::Device;  // a volume or a disk itself
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::Link;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::Folder;
  return Kind::Regular;
}

// What stands at `path`, looked at without following a link and without reading it.
Kind Inspect(const std::wstring& path, DWORD& error) {
  Handle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr));
  if (!handle.Valid()) {
    error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Kind::Missing
                                                                          : Kind::Unreadable;
  }
  return KindOfHandle(handle.Get());
}

// The device namespace ("\\.\PhysicalDrive0", "\\.\pipe\x") holds no file of the tool's.
bool InDeviceNamespace(const std::string& path) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == '.' &&
         IsSeparator(path[3]);
}

bool ToWide(const std::string& path, std::wstring& wide, std::string& error) {
  const auto converted = WideFromUtf8(path);
  if (!converted) {
    error = "the path " + path + " is not valid UTF-8";
    return false;
  }
  wide = *converted;
  return true;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

// Empty when `path` is missing or a regular file; otherwise why it is refused.
std::string JudgeTarget(const std::string& path, const std::wstring& wide) {
  if (InDeviceNamespace(path)) return path + " is a device, not a file";
  DWORD error = 0;
  const Kind kind = Inspect(wide, error);
  if (kind == Kind::Missing || kind == Kind::Regular) return {};
  if (kind == Kind::Unreadable) return path + " cannot be looked at (" + WindowsErrorText(error) + ")";
  return NotAFile(path, kind);
}

// A new file beside the target, made exclusively; its folder's permissions (a user's
// %LOCALAPPDATA% is the user's alone) apply to it.
bool CreateTemporary(const std::string& folder, const std::string& base, Handle& handle,
                     std::wstring& temporary, DWORD flags, std::string& error) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device random;
  DWORD failed = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "." + base.substr(0, 200) + ".";
    for (int i = 0; i < 8; ++i) name += kDigits[random() % 36];
    name += ".part";
    if (!ToWide(Join(folder, name), temporary, error)) return false;
    handle.Adopt(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | flags, nullptr));
    if (handle.Valid()) return true;
    failed = GetLastError();
    if (failed != ERROR_FILE_EXISTS && failed != ERROR_ALREADY_EXISTS) break;
  }
  error = WindowsErrorText(failed);
  return false;
}

bool WriteAndFlush(Handle& handle, std::span<const std::uint8_t> bytes, std::string& error) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(handle.Get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      error = "cannot write (" + WindowsErrorText(GetLastError()) + ")";
      return false;
    }
    done += written;
  }
  if (!FlushFileBuffers(handle.Get())) {
    error = "cannot flush to the disk (" + WindowsErrorText(GetLastError()) + ")";
    return false;
  }
  handle.Close();
  return true;
}

std::string FolderOrCurrent(const std::string& path) {
  const std::string folder = FolderOf(path);
  return folder.empty() ? "." : folder;
}

std::string NameOf(const std::string& path) {
  std::size_t at = path.size();
  while (at > 0 && !IsSeparator(path[at - 1]) && !(at == 2 && path[1] == ':')) --at;
  return path.substr(at);
}

bool IsFolder(const std::string& folder) {
  const auto wide = WideFromUtf8(folder);
  if (!wide) return false;
  const DWORD attributes = GetFileAttributesW(wide->c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string FolderOf(const std::string& path) {
  std::size_t at = path.size();
  while (at > 0 && !IsSeparator(path[at - 1])) --at;
  if (at == 0) return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "\\" : std::string();
  std::string folder = path.substr(0, at);
  while (folder.size() > 1 && IsSeparator(folder.back()) && !(folder.size() == 3 && folder[1] == ':')) {
    folder.pop_back();
  }
  return RootedFolder(folder);
}

FileRead ReadFileBounded(const std::string& path, const ReadLimit& limit,
                         std::vector<std::uint8_t>& bytes, std::string& problem) {
  bytes.clear();
  std::wstring wide;
  if (!ToWide(path, wide, problem)) return FileRead::Refused;
  if (InDeviceNamespace(path)) {
    problem = path + " is a device, not a file";
    return FileRead::Refused;
  }
  DWORD error = 0;
  const Kind before = Inspect(wide, error);
  if (before == Kind::Missing) {
    problem = path + " does not exist";
    return FileRead::Missing;
  }
  // A link to a file is read as that file; what it leads to is judged on the opened handle.
  if (before != Kind::Regular && before != Kind::Link) {
    problem = before == Kind::Unreadable ? path + " cannot be read (" + WindowsErrorText(error) + ")"
                                         : NotAFile(path, before);
    return FileRead::Refused;
  }
  Handle handle(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.Valid()) {
    problem = path + " cannot be read (" + WindowsErrorText(GetLastError()) + ")";
    return FileRead::Refused;
  }
  if (const Kind kind = KindOfHandle(handle.Get()); kind != Kind::Regular) {
    problem = NotAFile(path, kind);
    return FileRead::Refused;
  }
  auto tooLarge = [&](std::uint64_t size) {
    problem = FileTooLargeText(path, limit, size);
    bytes.clear();
    return FileRead::Refused;
  };
  LARGE_INTEGER size{};
  if (GetFileSizeEx(handle.Get(), &size) && static_cast<std::uint64_t>(size.QuadPart) > limit.maxBytes) {
    return tooLarge(static_cast<std::uint64_t>(size.QuadPart));
  }
  // Read to its end but never past one byte over the limit: a file that grew meanwhile is
  // refused too.
  std::vector<std::uint8_t> chunk(64 * 1024);
  for (;;) {
    const std::uint64_t room = limit.maxBytes + 1 - bytes.size();
    DWORD read = 0;
    if (!ReadFile(handle.Get(), chunk.data(),
                  static_cast<DWORD>(std::min<std::uint64_t>(chunk.size(), room)), &read, nullptr)) {
      problem = path + " cannot be read (" + WindowsErrorText(GetLastError()) + ")";
      bytes.clear();
      return FileRead::Refused;
    }
    if (read == 0) break;
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + read);
    if (bytes.size() > limit.maxBytes) return tooLarge(bytes.size());
  }
  return FileRead::Read;
}

std::string CheckFileTarget(const std::string& path) {
  std::wstring wide;
  std::string error;
  if (!ToWide(path, wide, error)) return error;
  const std::string name = NameOf(path);
  if (name.empty() || name == "." || name == "..") return "'" + path + "' names no file";
  const std::string folder = FolderOrCurrent(path);
  if (!IsFolder(folder)) return path + " cannot be written: the folder " + folder + " does not exist";
  if (std::string refused = JudgeTarget(path, wide); !refused.empty()) return refused;
  Handle trial;
  std::wstring temporary;
  if (!CreateTemporary(folder, name, trial, temporary, FILE_FLAG_DELETE_ON_CLOSE, error)) {
    return path + " cannot be written: the folder " + folder + " takes no new file (" + error + ")";
  }
  return {};
}

std::string CheckFolderTakesNewFiles(const std::string& folderPath) {
  const std::string folder = folderPath.empty() ? "." : folderPath;
  if (!IsFolder(folder)) return "the folder " + folder + " does not exist";
  Handle trial;
  std::wstring temporary;
  std::string error;
  if (!CreateTemporary(folder, "corvane-update", trial, temporary, FILE_FLAG_DELETE_ON_CLOSE, error)) {
    return "the folder " + folder + " takes no new file (" + error + ")";
  }
  return {};
}

bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        std::string& error) {
  std::wstring wide;
  if (!ToWide(path, wide, error)) return false;
  const std::string name = NameOf(path);
  if (name.empty() || name == "." || name == "..") {
    error = "'" + path + "' names no file";
    return false;
  }
  if (std::string refused = JudgeTarget(path, wide); !refused.empty()) {
    error = refused;
    return false;
  }
  Handle handle;
  std::wstring temporary;
  if (!CreateTemporary(FolderOrCurrent(path), name, handle, temporary, 0, error)) {
    error = "cannot create a new file beside " + path + " (" + error + ")";
    return false;
  }
  bool ok = WriteAndFlush(handle, bytes, error);
  if (!ok) error = "the new " + path + ": " + error;
  if (ok) {
    if (std::string refused = JudgeTarget(path, wide); !refused.empty()) {
      error = refused;
      ok = false;
    }
  }
  if (ok && !MoveFileExW(temporary.c_str(), wide.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = "cannot rename the new file onto " + path + " (" + WindowsErrorText(GetLastError()) + ")";
    ok = false;
  }
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

std::optional<std::string> WriteNewFile(const std::string& folder, const std::string& stem,
                                        const std::string& extension,
                                        std::span<const std::uint8_t> bytes, std::string& error) {
  const std::string folderName = folder.empty() ? "." : folder;
  Handle handle;
  std::wstring temporary;
  if (!CreateTemporary(folderName, stem + extension, handle, temporary, 0, error)) {
    error = "cannot create a new file in " + folderName + " (" + error + ")";
    return std::nullopt;
  }
  if (!WriteAndFlush(handle, bytes, error)) {
    error = "a new file in " + folderName + ": " + error;
    DeleteFileW(temporary.c_str());
    return std::nullopt;
  }
  for (int n = 1; n <= 1000; ++n) {
    const std::string name = n == 1 ? stem + extension : stem + "-" + std::to_string(n) + extension;
    std::wstring target;
    if (!ToWide(Join(folder, name), target, error)) break;
    // Without MOVEFILE_REPLACE_EXISTING the move never lands on a name that is taken.
    if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return Join(folder, name);
    const DWORD failed = GetLastError();
    if (failed != ERROR_ALREADY_EXISTS && failed != ERROR_FILE_EXISTS) {
      error = "cannot name the new file " + Join(folder, name) + " (" + WindowsErrorText(failed) + ")";
      break;
    }
    if (n == 1000) error = "every name from " + stem + extension + " on is taken";
  }
  DeleteFileW(temporary.c_str());
  return std::nullopt;
}

bool MakePrivateFolder(const std::string& folderPath, std::string& error) {
  std::string folder = folderPath;
  while (folder.size() > 1 && IsSeparator(folder.back()) && !(folder.size() == 3 && folder[1] == ':')) {
    folder.pop_back();
  }
  if (folder.empty() || IsFolder(folder)) return true;
  std::wstring wide;
  if (!ToWide(folder, wide, error)) return false;
  if (GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) {
    error = folder + " is not a folder";
    return false;
  }
  const std::string parent = FolderOf(folder);
  if (!parent.empty() && parent != folder && !MakePrivateFolder(parent, error)) return false;
  // No security descriptor of its own: it inherits the parent's, which for the user's own
  // %LOCALAPPDATA% admits only that user, the system and administrators.
  if (!CreateDirectoryW(wide.c_str(), nullptr)) {
    const DWORD failed = GetLastError();
    if (failed == ERROR_ALREADY_EXISTS && IsFolder(folder)) return true;
    error = "the folder " + folder + " cannot be made (" + WindowsErrorText(failed) + ")";
    return false;
  }
  return true;
}

}  // namespace corvane::device
