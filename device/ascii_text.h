// ASCII letter case as the tool changes it: only 'a'..'z' and 'A'..'Z', never by locale.
#pragma once

#include <string>
#include <string_view>

namespace corvane::device {

// Turns the bytes 'a'..'z' of a NUL-terminated text into 'A'..'Z' in place; all else unchanged.
inline void UpperCaseAscii(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  }
}

// A copy with 'A'..'Z' turned into 'a'..'z': how the scan turns a device path into lower case.
inline std::string LowerCaseAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace corvane::device
