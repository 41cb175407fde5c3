#include "app/win32/version_record.h"

#include <windows.h>
#include <winver.h>

#include <vector>

namespace corvane::app::win32 {

namespace {

// The whole record of the running executable; empty when it has none or it cannot be read.
std::vector<std::uint8_t> OwnRecord() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return {};
  std::vector<std::uint8_t> record(size);
  if (!::GetFileVersionInfoA(path, 0, size, record.data())) return {};
  return record;
}

}  // namespace

std::optional<FileVersion> ReadOwnFileVersion() {
  std::vector<std::uint8_t> record = OwnRecord();
  if (record.empty()) return std::nullopt;
  void* block = nullptr;
  UINT blockSize = 0;
  if (!::VerQueryValueA(record.data(), "\\", &block, &blockSize) || blockSize < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(block);
  return FileVersion{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                     HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
}

std::optional<std::string> ReadOwnVersionString(const char* block, const char* name) {
  std::vector<std::uint8_t> record = OwnRecord();
  if (record.empty()) return std::nullopt;
  const std::string query = std::string("\\StringFileInfo\\") + block + "\\" + name;
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(record.data(), query.c_str(), &value, &length) || value == nullptr) return std::nullopt;
  std::string text(static_cast<const char*>(value), length);
  if (const auto end = text.find('\0'); end != std::string::npos) text.resize(end);
  return text;
}

std::optional<std::array<std::uint16_t, 2>> ReadOwnTranslation() {
  std::vector<std::uint8_t> record = OwnRecord();
  if (record.empty()) return std::nullopt;
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(record.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4) {
    return std::nullopt;
  }
  const auto* pair = static_cast<const WORD*>(value);
  return std::array<std::uint16_t, 2>{pair[0], pair[1]};
}

}  // namespace corvane::app::win32
