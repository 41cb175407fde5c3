// Scenarios every front end can name (--simulate NAME); each is the JSON a file would hold.
#include <array>
#include <utility>

#include "device/device_events.h"
#include "sim/sim.h"

namespace corvane::sim {

using namespace device;
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 17> kBuiltIns = {{
    {"kts210", R"({"description": "a SATA adaptor with outdated firmware 0.2.1.3",
      "devices": [{"bus": "usb", "chip": "KTS210", "firmware": [0, 2, 1, 3]}]})"},
    {"kts260", R"({"description": "an NVMe adaptor with outdated firmware 0.1.0.8",
      "devices": [{"bus": "usb", "chip": "KTS260", "firmware": [0, 1, 0, 8]}]})"},
    {"none", R"({"description": "no adaptor, only an internal disk",
      "devices": [{"bus": "internal", "chip": "internal-disk"}]})"},
    {"two", R"({"description": "two adaptors at once",
      "devices": [{"bus": "usb", "chip": "KTS210", "firmware": [0, 2, 1, 3]},
                  {"bus": "usb", "chip": "KTS260", "firmware": [0, 1, 0, 8]}]})"},
    {"kts260-current", R"({"description": "an NVMe adaptor that runs the carried firmware",
      "devices": [{"bus": "usb", "chip": "KTS260", "firmware": [234, 1, 0, 1]}]})"},
    {"kts210-current", R"({"description": "a SATA adaptor that runs the carried firmware",
      "devices": [{"bus": "usb", "chip": "KTS210", "firmware": [0, 2, 1, 4]}]})"},
    {"kts260-rom", R"({"description": "an NVMe adaptor that runs only its boot ROM",
      "devices": [{"bus": "usb", "chip": "KTS260", "firmware": [0, 1, 0, 8], "romMode": true}]})"},
    {"kts210-rom", R"({"description": "a SATA adaptor that runs only its boot ROM",
      "devices": [{"bus": "usb", "chip": "KTS210", "firmware": [0, 2, 1, 3], "romMode": true}]})"},
    {"usb-stick", R"({"description": "a USB stick that rejects every vendor command",
      "devices": [{"bus": "usb", "chip": "usb-stick"}]})"},
    {"volant", R"({"description": "an NVMe adaptor of the VOLANT product line",
      "devices": [{"bus": "usb", "chip": "KTS260", "firmware": [0, 1, 0, 8],
                   "inquiry": {"vendor": "Corvane ", "product": "Volant NVMe     "}}]})"},
    {"uas", R"({"description": "an NVMe adaptor attached over USB Attached SCSI",
      "devices": [{"bus": "uas", "chip": "KTS260", "firmware": [0, 1, 0, 8]}]})"},
    {"1394", R"({"description": "a SATA adaptor on IEEE 1394",
      "devices": [{"bus": "1394", "chip": "KTS210", "firmware": [0, 2, 1, 3]}]})"},
    {"kts260-busy", R"({"description": "an NVMe adaptor that never reports ready",
      "devices": [{"bus": "usb", "chip": "KTS260", "firmware": [0, 1, 0, 8], "stayBusy": true}]})"},
    {"kts260-unplug", R"({"description": "an NVMe adaptor pulled out during the download",
      "devices": [{"bus": "usb", "chip": "KTS260", "firmware": [0, 1, 0, 8],
                   "faults": [{"command": "WriteBuffer", "nth": 20, "effect": "unplug"}]}]})"},
    {"kts260-corrupt", R"({"description": "an NVMe adaptor whose first read-back is wrong",
      "devices": [{"bus": "usb", "chip": "KTS260", "firmware": [0, 1, 0, 8],
                   "faults": [{"corruptReadBack": 4096, "once": true}]}]})"},
    {"kts260-unlisted", R"({"description": "an NVMe adaptor with a version the tool does not list",
      "devices": [{"bus": "usb", "chip": "KTS260", "firmware": [234, 1, 0, 2]}]})"},
    {"mixed", R"({"description": "an internal disk, a USB stick and an NVMe adaptor",
      "devices": [{"bus": "internal", "chip": "internal-disk"},
                  {"bus": "usb", "chip": "usb-stick"},
                  {"bus": "usb", "chip": "KTS260", "firmware": [0, 1, 0, 8]}]})"},
}};

}  // namespace

std::optional<Scenario> BuiltInScenario(std::string_view name) {
  for (const auto& [builtInName, json] : kBuiltIns) {
    if (builtInName == name) return ParseScenario(json);
  }
  return std::nullopt;
}

std::vector<std::string> BuiltInScenarioNames() {
  std::vector<std::string> names;
  for (const auto& entry : kBuiltIns) names.emplace_back(entry.first);
  return names;
}

std::string BuiltInScenarioList() {
  std::string names;
  for (const auto& entry : kBuiltIns) {
    if (!names.empty()) names += ", ";
    names += entry.first;
  }
  return names;
}

Scenario ChooseScenario(const std::optional<std::string>& name,
                        const std::optional<std::string>& fileName) {
  if (name) {
    if (auto scenario = BuiltInScenario(*name)) return *std::move(scenario);
    throw ScenarioError("unknown scenario '" + *name + "'; the built-in scenarios are: " +
                        BuiltInScenarioList());
  }
  if (!fileName) throw ScenarioError("no scenario was named");
  try {
    return LoadScenarioFile(*fileName);
  } catch (const std::exception& e) {
    throw ScenarioError("cannot use scenario file '" + *fileName + "': " + e.what());
  }
}

std::vector<std::uint32_t> PlugEventCodes(bool plugged) {
  // What the platforms report for a real adaptor: a removal completes and the device nodes
  // change; an arrival only changes the nodes.
  if (plugged) return {kDbtDevNodesChanged};
  return {kDbtDeviceRemoveComplete, kDbtDevNodesChanged};
}

}  // namespace corvane::sim
