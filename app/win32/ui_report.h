// Test hook: with CORVANE_UI_REPORT=<file> the window writes every change of what it shows (status
// text and state, pictures, visibility, progress) and every device-change and timer message it
// handles, one line each, with the milliseconds since the program started, so a script driving the
// real program can follow it.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace corvane::app::win32 {

class UiReport {
 public:
  // From CORVANE_UI_REPORT; disabled when the variable is unset or the file cannot be created.
  static UiReport FromEnvironment(std::chrono::steady_clock::time_point start);
  UiReport() = default;
  UiReport(const std::string& file, std::chrono::steady_clock::time_point start);
  ~UiReport();
  UiReport(UiReport&& other) noexcept;
  UiReport& operator=(UiReport&&) = delete;
  UiReport(const UiReport&) = delete;

  bool Enabled() const { return file_ != nullptr; }
  // "<ms> <what> <detail>"; line breaks in the detail are written as \n.
  void Line(std::string_view what, std::string_view detail = {});

 private:
  std::FILE* file_ = nullptr;
  std::chrono::steady_clock::time_point start_{};
};

}  // namespace corvane::app::win32
