#pragma once

namespace corvane {

// Turns the bytes 'a'..'z' of a NUL-terminated text into 'A'..'Z' in place; all else unchanged.
inline void UpperCaseAscii(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  }
}

}  // namespace corvane
