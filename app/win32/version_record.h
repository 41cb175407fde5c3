// The program's own version record, read the way the caption's formatting reads it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace corvane::app::win32 {

// major, minor, release, build of the fixed file version; nullopt when the record of the running
// executable (by its full path) cannot be read.
using FileVersion = std::array<std::uint16_t, 4>;
std::optional<FileVersion> ReadOwnFileVersion();

// A string of the record, e.g. ("040904E4", "FileVersion"); nullopt when missing.
std::optional<std::string> ReadOwnVersionString(const char* block, const char* name);
// The first language and code page pair of the record's translation list.
std::optional<std::array<std::uint16_t, 2>> ReadOwnTranslation();

}  // namespace corvane::app::win32
