// Text crosses the Windows API as UTF-16 and lives in the tool as UTF-8: converted here, at the
// boundary, so a path or user name outside the ANSI code page keeps every character.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::device::windows {

// nullopt when `text` is not valid UTF-8.
std::optional<std::wstring> WideFromUtf8(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

// The value of an environment variable as UTF-8, read through the wide environment; nullopt when
// it is not set.
std::optional<std::string> EnvironmentUtf8(const wchar_t* name);

// The words Windows has for an error code, with the code: "Access is denied. (Windows error 5)".
std::string WindowsErrorText(unsigned long code);

}  // namespace corvane::device::windows
