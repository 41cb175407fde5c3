#include "sim/saved_json.h"

#include "sim/sim.h"

namespace corvane::sim::saved {

using nlohmann::json;

std::string Hex(std::span<const std::uint8_t> bytes, bool spaced) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * (spaced ? 3 : 2));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (spaced && i > 0) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

void Reader::Fail(const std::string& where, const std::string& problem) const {
  throw ScenarioError(what_ + ": " + (where.empty() ? "" : where + ": ") + problem);
}

json Reader::Parse(std::string_view text) const {
  try {
    return json::parse(text.begin(), text.end());
  } catch (const json::exception& e) {
    Fail("", std::string("not valid JSON (") + e.what() + ")");
  }
}

void Reader::Keys(const json& object, std::initializer_list<std::string_view> allowed,
                  std::initializer_list<std::string_view> required, const std::string& where) const {
  if (!object.is_object()) Fail(where, "must be an object");
  for (const auto& item : object.items()) {
    bool known = false;
    for (auto key : allowed) known = known || item.key() == key;
    if (!known) Fail(where, "unknown key \"" + item.key() + "\"");
  }
  for (auto key : required) {
    if (!object.contains(key)) Fail(where, "the key \"" + std::string(key) + "\" is missing");
  }
}

const json& Reader::At(const json& object, std::string_view key, const std::string& where) const {
  const auto found = object.find(key);
  if (found == object.end()) Fail(where, "the key \"" + std::string(key) + "\" is missing");
  return *found;
}

std::uint64_t Reader::Unsigned(const json& value, const std::string& where, std::uint64_t max) const {
  if (!value.is_number_unsigned() && !(value.is_number_integer() && value.get<std::int64_t>() >= 0)) {
    Fail(where, "must be a whole number of 0 or more");
  }
  const auto result = value.get<std::uint64_t>();
  if (result > max) Fail(where, "is larger than " + std::to_string(max));
  return result;
}

bool Reader::Bool(const json& value, const std::string& where) const {
  if (!value.is_boolean()) Fail(where, "must be true or false");
  return value.get<bool>();
}

std::string Reader::Text(const json& value, const std::string& where) const {
  if (!value.is_string()) Fail(where, "must be a text");
  return value.get<std::string>();
}

std::vector<std::uint8_t> Reader::Bytes(const json& value, const std::string& where,
                                        std::size_t count, std::size_t maxCount) const {
  const std::string text = Text(value, where);
  std::vector<std::uint8_t> bytes;
  int high = -1;
  for (const char c : text) {
    if (c == ' ') {
      if (high >= 0) Fail(where, "has an odd number of hex digits in a byte");
      continue;
    }
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) Fail(where, std::string("holds '") + c + "', which is no hex digit");
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
      high = -1;
      if (bytes.size() > maxCount) Fail(where, "holds more than " + std::to_string(maxCount) + " bytes");
    }
  }
  if (high >= 0) Fail(where, "has an odd number of hex digits");
  if (count != 0 && bytes.size() != count) Fail(where, "must hold " + std::to_string(count) + " bytes");
  return bytes;
}

bool ReplaceFile(const std::string& fileName, std::string_view text, std::string& error) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  return device::WriteFileReplacing(fileName, {bytes, text.size()}, error);
}

device::FileRead ReadWholeFile(const std::string& fileName, const device::ReadLimit& limit,
                               std::string& text, std::string& problem) {
  std::vector<std::uint8_t> bytes;
  const device::FileRead read = device::ReadFileBounded(fileName, limit, bytes, problem);
  text.assign(bytes.begin(), bytes.end());
  return read;
}

}  // namespace corvane::sim::saved
