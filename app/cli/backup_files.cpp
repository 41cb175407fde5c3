#include "app/cli/backup_files.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace corvane::app::cli {
namespace {

std::string FormatUtc(const char* format) {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  if (const std::tm* t = std::gmtime(&now)) utc = *t;
  char text[32];
  return std::strftime(text, sizeof text, format, &utc) != 0 ? std::string(text) : std::string();
}

}  // namespace

bool EnsureFolder(const std::string& folder, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!ec && std::filesystem::is_directory(folder, ec)) return true;
  error = "the folder " + folder + " cannot be made" + (ec ? " (" + ec.message() + ")" : "");
  return false;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "the file " + path + " cannot be read";
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "the file " + path + " could not be read to its end";
    return false;
  }
  return true;
}

std::string UtcTimeText() { return FormatUtc("%Y-%m-%dT%H:%M:%SZ"); }
std::string UtcTimeForFileName() { return FormatUtc("%Y%m%dT%H%M%SZ"); }

}  // namespace corvane::app::cli
