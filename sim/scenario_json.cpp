// Scenario files: JSON read with nlohmann-json. Every key is checked; an unknown key or a value of
// the wrong kind is an error that names where it stands.
#include <initializer_list>
#include <nlohmann/json.hpp>

#include "sim/command_kind.h"
#include "sim/saved_json.h"
#include "sim/scenario.h"

namespace corvane::sim {

using namespace device;
namespace {

using nlohmann::json;

// A scenario describes at most a few hundred devices; anything larger is a mistake (or not a
// scenario at all), and is refused before it is read into memory.
constexpr std::uintmax_t kMaxFileBytes = 16u << 20;
// Deeper than any scenario needs (a fault inside a device inside the list is depth 4).
constexpr std::size_t kMaxDepth = 16;
constexpr std::size_t kMaxFreeText = 64 * 1024;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw ScenarioError("scenario: " + where + ": " + what);
}

void CheckKeys(const json& object, std::initializer_list<std::string_view> allowed,
               const std::string& where) {
  if (!object.is_object()) Fail(where, "must be an object");
  for (const auto& item : object.items()) {
    bool known = false;
    for (auto key : allowed) known = known || item.key() == key;
    if (!known) Fail(where, "unknown key \"" + item.key() + "\"");
  }
}

// Numbers may be written as JSON numbers or as "0x..." texts.
std::uint64_t Unsigned(const json& value, const std::string& where, std::uint64_t max) {
  std::uint64_t result = 0;
  if (value.is_number_unsigned()) {
    result = value.get<std::uint64_t>();
  } else if (value.is_number_integer()) {
    if (value.get<std::int64_t>() < 0) Fail(where, "must not be negative");
    result = value.get<std::uint64_t>();
  } else if (value.is_string()) {
    const std::string text = value.get<std::string>();
    std::size_t used = 0;
    try {
      result = std::stoull(text, &used, 0);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != text.size() || text[0] == '-') Fail(where, "is not a number: " + text);
  } else {
    Fail(where, value.is_number_float() ? "must be a whole number" : "must be a number");
  }
  if (result > max) Fail(where, "is larger than " + std::to_string(max));
  return result;
}

bool Bool(const json& value, const std::string& where) {
  if (!value.is_boolean()) Fail(where, "must be true or false");
  return value.get<bool>();
}

std::string Text(const json& value, const std::string& where, std::size_t maxLength) {
  if (!value.is_string()) Fail(where, "must be a text");
  std::string text = value.get<std::string>();
  if (text.size() > maxLength) Fail(where, "is longer than " + std::to_string(maxLength) + " characters");
  return text;
}

std::vector<std::uint8_t> Bytes(const json& value, const std::string& where, std::size_t count,
                                std::size_t maxCount);

// A field a bridge answers as raw bytes: a text, or an array of bytes for what no JSON text can
// hold (bytes that are not UTF-8, such as a lone 0xE9).
std::string TextOrBytes(const json& value, const std::string& where, std::size_t maxLength) {
  if (!value.is_array()) return Text(value, where, maxLength);
  const auto bytes = Bytes(value, where, 0, maxLength);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> Bytes(const json& value, const std::string& where, std::size_t count,
                                std::size_t maxCount) {
  if (!value.is_array()) Fail(where, "must be an array of bytes");
  if ((count != 0 && value.size() != count) || value.size() > maxCount) {
    Fail(where, count != 0 ? "must hold " + std::to_string(count) + " bytes"
                           : "holds more than " + std::to_string(maxCount) + " bytes");
  }
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    out.push_back(static_cast<std::uint8_t>(Unsigned(value[i], where + "[" + std::to_string(i) + "]", 255)));
  }
  return out;
}

template <std::size_t N>
std::array<std::uint8_t, N> FixedBytes(const json& value, const std::string& where) {
  const auto bytes = Bytes(value, where, N, N);
  std::array<std::uint8_t, N> out{};
  std::copy(bytes.begin(), bytes.end(), out.begin());
  return out;
}

ChipFamily FamilyNamed(const std::string& name, const std::string& where) {
  if (name == "KTS210") return ChipFamily::Kts210;
  if (name == "KTS260") return ChipFamily::Kts260;
  if (name == "usb-stick") return ChipFamily::UsbStick;
  if (name == "internal-disk") return ChipFamily::InternalDisk;
  Fail(where, "unknown chip \"" + name + "\" (KTS210, KTS260, usb-stick, internal-disk or an object)");
}

std::optional<ChipInfoAnswer> ParseChipInfo(const json& value, const std::string& where,
                                            const std::optional<ChipInfoAnswer>& fallback) {
  if (value.is_null()) return std::nullopt;
  if (value.is_string() && value.get<std::string>() == "same") return fallback;
  ChipInfoAnswer info = fallback.value_or(ChipInfoAnswer{});
  if (value.is_array()) {
    info.raw = Bytes(value, where, 16, 16);
    return info;
  }
  CheckKeys(value, {"signature", "vendorId", "productId", "model", "revision"}, where);
  if (value.contains("signature")) info.signature = FixedBytes<2>(value["signature"], where + ".signature");
  if (value.contains("vendorId")) info.vendorId = static_cast<std::uint16_t>(Unsigned(value["vendorId"], where + ".vendorId", 0xFFFF));
  if (value.contains("productId")) info.productId = static_cast<std::uint16_t>(Unsigned(value["productId"], where + ".productId", 0xFFFF));
  if (value.contains("model")) info.model = Text(value["model"], where + ".model", 3);
  if (value.contains("revision")) {
    const std::string r = Text(value["revision"], where + ".revision", 1);
    info.revision = r.empty() ? '\0' : r[0];
  }
  return info;
}

DeviceConfig ParseChipObject(const json& chip, const std::string& where) {
  CheckKeys(chip, {"base", "inquiryChipId", "chipIdWord", "chipInfo", "chipInfoAlt", "buffer1",
                   "legacyId", "b5", "flashType"},
            where);
  const std::string base = chip.contains("base") ? Text(chip["base"], where + ".base", 32) : "KTS260";
  DeviceConfig d = DefaultDeviceConfig(FamilyNamed(base, where + ".base"));
  IdentificationAnswers& id = d.identification;
  if (chip.contains("inquiryChipId")) {
    id.inquiryChipId = chip["inquiryChipId"].is_null() ? "" : Text(chip["inquiryChipId"], where + ".inquiryChipId", 4);
  }
  if (chip.contains("chipIdWord")) {
    if (chip["chipIdWord"].is_null()) id.chipIdWord.reset();
    else id.chipIdWord = FixedBytes<2>(chip["chipIdWord"], where + ".chipIdWord");
  }
  if (chip.contains("chipInfo")) {
    id.chipInfo = ParseChipInfo(chip["chipInfo"], where + ".chipInfo", id.chipInfo);
    if (!chip.contains("chipInfoAlt")) id.chipInfoAlt = id.chipInfo;
  }
  if (chip.contains("chipInfoAlt")) {
    id.chipInfoAlt = ParseChipInfo(chip["chipInfoAlt"], where + ".chipInfoAlt", id.chipInfo);
  }
  if (chip.contains("buffer1")) {
    const json& b = chip["buffer1"];
    if (b.is_null()) {
      id.buffer1OffsetBoundary.reset();
    } else {
      CheckKeys(b, {"offsetBoundary", "data"}, where + ".buffer1");
      if (b.contains("offsetBoundary")) {
        id.buffer1OffsetBoundary = static_cast<std::uint8_t>(Unsigned(b["offsetBoundary"], where + ".buffer1.offsetBoundary", 16));
      }
      if (b.contains("data")) id.buffer1Data = Bytes(b["data"], where + ".buffer1.data", 0, 65536);
    }
  }
  if (chip.contains("legacyId")) {
    if (chip["legacyId"].is_null()) id.legacyId.reset();
    else id.legacyId = Text(chip["legacyId"], where + ".legacyId", 40);
  }
  if (chip.contains("b5")) id.answersB5 = Bool(chip["b5"], where + ".b5");
  if (chip.contains("flashType")) {
    if (chip["flashType"].is_null()) id.flashType.reset();
    else id.flashType = FixedBytes<4>(chip["flashType"], where + ".flashType");
  }
  return d;
}

FaultEffect EffectNamed(const json& value, const std::string& where) {
  const std::string name = Text(value, where, 32);
  if (name == "check-condition") return FaultEffect::CheckCondition;
  if (name == "unplug") return FaultEffect::Unplug;
  if (name == "timeout") return FaultEffect::Timeout;
  if (name == "ignore") return FaultEffect::Ignore;
  Fail(where, "unknown effect \"" + name + "\" (check-condition, unplug, timeout, ignore)");
}

void ParseFault(const json& f, const std::string& where, DeviceConfig& d) {
  if (f.is_object() && f.contains("corruptReadBack")) {
    CheckKeys(f, {"corruptReadBack", "once"}, where);
    ReadBackCorruption k;
    k.offset = static_cast<std::uint32_t>(Unsigned(f["corruptReadBack"], where + ".corruptReadBack", 0xFFFFFF));
    if (f.contains("once")) k.once = Bool(f["once"], where + ".once");
    d.corruptions.push_back(k);
    return;
  }
  Fault fault;
  if (f.is_object() && f.contains("afterCommands")) {
    CheckKeys(f, {"afterCommands", "effect"}, where);
    fault.afterCommands = static_cast<std::uint32_t>(Unsigned(f["afterCommands"], where + ".afterCommands", 0xFFFFFFFF));
    if (fault.afterCommands == 0) Fail(where + ".afterCommands", "must be at least 1");
    fault.effect = f.contains("effect") ? EffectNamed(f["effect"], where + ".effect") : FaultEffect::Unplug;
  } else {
    CheckKeys(f, {"command", "nth", "effect"}, where);
    if (!f.contains("command")) Fail(where, "needs \"command\", \"afterCommands\" or \"corruptReadBack\"");
    fault.command = Text(f["command"], where + ".command", 64);
    if (!IsCommandKindName(fault.command)) Fail(where + ".command", "unknown command \"" + fault.command + "\"");
    fault.nth = f.contains("nth") ? static_cast<std::uint32_t>(Unsigned(f["nth"], where + ".nth", 0xFFFFFFFF)) : 1;
    if (fault.nth == 0) Fail(where + ".nth", "counts from 1");
    if (!f.contains("effect")) Fail(where, "needs \"effect\"");
    fault.effect = EffectNamed(f["effect"], where + ".effect");
  }
  d.faults.push_back(fault);
}

Bus BusNamed(const json& value, const std::string& where) {
  const std::string name = Text(value, where, 16);
  if (name == "usb") return Bus::Usb;
  if (name == "uas") return Bus::Uas;
  if (name == "1394") return Bus::Ieee1394;
  if (name == "internal") return Bus::Internal;
  Fail(where, "unknown bus \"" + name + "\" (usb, uas, 1394, internal)");
}

DeviceConfig ParseDevice(const json& dev, const std::string& where) {
  CheckKeys(dev, {"bus", "chip", "firmware", "romMode", "inquiry", "busyMs", "stayBusy", "descriptor",
                  "nvram", "faults", "diskBlocks", "pathUnreadable", "accessDenied", "comment"},
            where);
  if (!dev.contains("chip")) Fail(where, "needs \"chip\"");
  const json& chip = dev["chip"];
  DeviceConfig d = chip.is_object() ? ParseChipObject(chip, where + ".chip")
                                    : DefaultDeviceConfig(FamilyNamed(Text(chip, where + ".chip", 32), where + ".chip"));
  if (dev.contains("bus")) d.bus = BusNamed(dev["bus"], where + ".bus");
  if (dev.contains("firmware")) d.firmware = FixedBytes<4>(dev["firmware"], where + ".firmware");
  if (dev.contains("romMode")) d.romMode = Bool(dev["romMode"], where + ".romMode");
  if (dev.contains("inquiry")) {
    const json& inq = dev["inquiry"];
    CheckKeys(inq, {"vendor", "product", "revision"}, where + ".inquiry");
    if (inq.contains("vendor")) d.inquiry.vendor = TextOrBytes(inq["vendor"], where + ".inquiry.vendor", 8);
    if (inq.contains("product")) d.inquiry.product = TextOrBytes(inq["product"], where + ".inquiry.product", 16);
    if (inq.contains("revision")) d.inquiry.revision = TextOrBytes(inq["revision"], where + ".inquiry.revision", 4);
  }
  if (dev.contains("busyMs")) d.busyMs = static_cast<std::uint32_t>(Unsigned(dev["busyMs"], where + ".busyMs", 0xFFFFFFFF));
  if (dev.contains("stayBusy")) d.stayBusy = Bool(dev["stayBusy"], where + ".stayBusy");
  if (dev.contains("descriptor")) {
    const json& desc = dev["descriptor"];
    CheckKeys(desc, {"offsetBoundary", "capacity"}, where + ".descriptor");
    if (desc.contains("offsetBoundary")) d.offsetBoundary = static_cast<std::uint8_t>(Unsigned(desc["offsetBoundary"], where + ".descriptor.offsetBoundary", 255));
    if (desc.contains("capacity")) d.capacity = static_cast<std::uint32_t>(Unsigned(desc["capacity"], where + ".descriptor.capacity", 0xFFFFFF));
  }
  if (dev.contains("nvram")) {
    const json& nv = dev["nvram"];
    CheckKeys(nv, {"field1", "field2", "field3"}, where + ".nvram");
    const char* names[] = {"field1", "field2", "field3"};
    for (std::size_t i = 0; i < 3; ++i) {
      if (!nv.contains(names[i])) continue;
      const std::string text = Text(nv[names[i]], where + ".nvram." + names[i], 8);
      const std::size_t at = 200 + 8 * i;
      std::fill_n(d.nvram.begin() + static_cast<std::ptrdiff_t>(at), 8, std::uint8_t{0});
      std::copy(text.begin(), text.end(), d.nvram.begin() + static_cast<std::ptrdiff_t>(at));
    }
  }
  if (dev.contains("faults")) {
    const json& faults = dev["faults"];
    if (!faults.is_array()) Fail(where + ".faults", "must be an array");
    for (std::size_t i = 0; i < faults.size(); ++i) {
      ParseFault(faults[i], where + ".faults[" + std::to_string(i) + "]", d);
    }
  }
  if (dev.contains("diskBlocks")) d.diskBlocks = static_cast<std::uint32_t>(Unsigned(dev["diskBlocks"], where + ".diskBlocks", 1u << 24));
  if (dev.contains("pathUnreadable")) d.pathUnreadable = Bool(dev["pathUnreadable"], where + ".pathUnreadable");
  if (dev.contains("accessDenied")) d.accessDenied = Bool(dev["accessDenied"], where + ".accessDenied");
  if (dev.contains("comment")) Text(dev["comment"], where + ".comment", kMaxFreeText);
  return d;
}

}  // namespace

Scenario ParseScenario(std::string_view jsonText) {
  json root;
  try {
    // The depth is checked while parsing, so a file of a million brackets stops at the 17th.
    const json::parser_callback_t depthCheck = [](int depth, json::parse_event_t, json&) {
      if (static_cast<std::size_t>(depth) > kMaxDepth) {
        Fail("top level", "nested deeper than " + std::to_string(kMaxDepth) + " levels");
      }
      return true;
    };
    root = json::parse(jsonText.begin(), jsonText.end(), depthCheck);
  } catch (const json::exception& e) {
    // Not only syntax errors: a number too large for a double is refused by the parser too.
    throw ScenarioError(std::string("scenario: not valid JSON: ") + e.what());
  }
  CheckKeys(root, {"devices", "description"}, "top level");
  if (root.contains("description")) Text(root["description"], "top level.description", kMaxFreeText);
  if (!root.contains("devices") || !root["devices"].is_array()) {
    Fail("top level", "needs an array \"devices\"");
  }
  std::vector<DeviceConfig> devices;
  for (std::size_t i = 0; i < root["devices"].size(); ++i) {
    devices.push_back(ParseDevice(root["devices"][i], "devices[" + std::to_string(i) + "]"));
  }
  return ScenarioOf(std::move(devices));
}

Scenario LoadScenarioFile(const std::string& fileName) {
  std::string text, problem;
  if (saved::ReadWholeFile(fileName, {kMaxFileBytes, "a scenario"}, text, problem) !=
      device::FileRead::Read) {
    throw ScenarioError("scenario: " + problem);
  }
  return ParseScenario(text);
}

}  // namespace corvane::sim
