#include "app/win32/ui_report.h"

#include <cstdlib>

namespace corvane::app::win32 {

UiReport UiReport::FromEnvironment(std::chrono::steady_clock::time_point start) {
  const char* file = std::getenv("CORVANE_UI_REPORT");
  if (file == nullptr || *file == '\0') return UiReport();
  return UiReport(file, start);
}

UiReport::UiReport(const std::string& file, std::chrono::steady_clock::time_point start)
    : file_(std::fopen(file.c_str(), "wb")), start_(start) {}  // "\n" line ends for the script

UiReport::~UiReport() {
  if (file_ != nullptr) std::fclose(file_);
}

UiReport::UiReport(UiReport&& other) noexcept : file_(other.file_), start_(other.start_) {
  other.file_ = nullptr;
}

void UiReport::Line(std::string_view what, std::string_view detail) {
  if (file_ == nullptr) return;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start_).count();
  std::string escaped;
  for (char c : detail) {
    if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  std::fprintf(file_, "%lld %.*s %s\n", static_cast<long long>(ms), static_cast<int>(what.size()),
               what.data(), escaped.c_str());
  // A script reads the file while the program runs.
  std::fflush(file_);
}

}  // namespace corvane::app::win32
