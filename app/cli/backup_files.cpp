#include "app/cli/backup_files.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace corvane::app::cli {
namespace {

std::string FormatUtc(std::chrono::system_clock::time_point when, const char* format) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  if (const std::tm* t = std::gmtime(&seconds)) utc = *t;
  char text[32];
  return std::strftime(text, sizeof text, format, &utc) != 0 ? std::string(text) : std::string();
}

}  // namespace

std::string UtcTimeText() { return FormatUtc(std::chrono::system_clock::now(), "%Y-%m-%dT%H:%M:%SZ"); }

std::string UtcTimeForFileName() {
  const auto now = std::chrono::system_clock::now();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(now);
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now - seconds).count();
  char fraction[24];
  std::snprintf(fraction, sizeof fraction, ".%06lld", static_cast<long long>(micros));
  return FormatUtc(seconds, "%Y%m%dT%H%M%S") + fraction + "Z";
}

}  // namespace corvane::app::cli
