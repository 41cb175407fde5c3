// Reading and writing the simulator's saved files (the state file, recordings): hex data and
// checked fields, with errors that name the file's key.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/file_io.h"

namespace corvane::sim::saved {

// "0a1bff": two lower-case digits per byte; `spaced` puts a space between bytes ("0a 1b ff").
std::string Hex(std::span<const std::uint8_t> bytes, bool spaced = false);

// Reads one file's JSON and throws ScenarioError("<what>: <key>: <problem>").
class Reader {
 public:
  explicit Reader(std::string what) : what_(std::move(what)) {}
  [[noreturn]] void Fail(const std::string& where, const std::string& problem) const;
  nlohmann::json Parse(std::string_view text) const;
  // Checks that `object` is an object holding only `allowed` keys and every one of `required`.
  void Keys(const nlohmann::json& object, std::initializer_list<std::string_view> allowed,
            std::initializer_list<std::string_view> required, const std::string& where) const;
  const nlohmann::json& At(const nlohmann::json& object, std::string_view key,
                           const std::string& where) const;
  std::uint64_t Unsigned(const nlohmann::json& value, const std::string& where,
                         std::uint64_t max) const;
  bool Bool(const nlohmann::json& value, const std::string& where) const;
  std::string Text(const nlohmann::json& value, const std::string& where) const;
  // Hex digits, spaces between bytes allowed; `count` 0 takes any length up to `maxCount`.
  std::vector<std::uint8_t> Bytes(const nlohmann::json& value, const std::string& where,
                                  std::size_t count, std::size_t maxCount) const;

 private:
  std::string what_;
};

// The most a recording and a state file may hold when read back. A recording of an update with
// its backup is about 0.5 MB, a state file about 140 KB per adaptor.
inline constexpr std::uint64_t kMaxRecordingBytes = 64u << 20;
inline constexpr std::uint64_t kMaxStateBytes = 16u << 20;

// Replaces `fileName` by `text` through the tool's one file writer (see device/file_io.h): the
// previous file stays whole until the new one is complete. False with `error` set.
bool ReplaceFile(const std::string& fileName, std::string_view text, std::string& error);

// The whole regular file, at most `limit.maxBytes`; see device::ReadFileBounded.
device::FileRead ReadWholeFile(const std::string& fileName, const device::ReadLimit& limit,
                               std::string& text, std::string& problem);

}  // namespace corvane::sim::saved
