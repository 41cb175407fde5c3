#include "sim/world_state.h"

#include <algorithm>

#include "sim/bridge_model.h"
#include "sim/saved_json.h"
#include "sim/scenario.h"

namespace corvane::sim {
namespace {

using nlohmann::json;

constexpr std::string_view kFormat = "corvane-simulator-state";
constexpr int kVersion = 1;
constexpr std::size_t kBlock = 1024;  // flash is saved in blocks; erased ones are left out

std::string_view RunName(BridgeState::Run run) {
  switch (run) {
    case BridgeState::Run::Firmware: return "firmware";
    case BridgeState::Run::BootRom: return "boot-rom";
    case BridgeState::Run::Manufacturing: return "manufacturing";
  }
  return "firmware";
}

// What the scenario says the device is: a state saved for another one is refused.
std::string DeviceName(const SimWorld& world, std::size_t index) { return world.PathOf(index); }

std::string Bits(const std::vector<bool>& bits) {
  std::string text;
  for (bool b : bits) text += b ? '1' : '0';
  return text;
}

json DeviceJson(SimWorld& world, std::size_t index) {
  const BridgeState s = world.Bridge(index).SaveState();
  json d;
  d["path"] = DeviceName(world, index);
  d["plugged"] = world.IsPlugged(index);
  d["run"] = RunName(s.run);
  d["firmware"] = saved::Hex(s.version);
  json flash = json::array();
  for (std::size_t at = 0; at < s.flash.size(); at += kBlock) {
    const auto block = std::span(s.flash).subspan(at, std::min(kBlock, s.flash.size() - at));
    if (std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0xFF; })) continue;
    flash.push_back({{"offset", at}, {"data", saved::Hex(block)}});
  }
  d["flash"] = std::move(flash);
  d["nvram"] = saved::Hex(s.nvram);
  d["manufacturingLoaded"] = s.manufacturingLoaded;
  d["downloadPending"] = s.downloadPending;
  d["blocksWritten"] = Bits(s.blocksWritten);
  d["plugTimeMs"] = s.plugTimeMs;
  d["lastSense"] = saved::Hex(s.lastSense);
  d["commandCount"] = s.commandCount;
  json kinds = json::object();
  for (const auto& [kind, count] : s.kindCounts) kinds[kind] = count;
  d["kindCounts"] = std::move(kinds);
  d["faultsFired"] = Bits(s.faultFired);
  d["corruptionsUsed"] = Bits(s.corruptionUsed);
  json disk = json::array();
  for (const auto& [lba, block] : s.diskBlocks) disk.push_back({{"lba", lba}, {"data", saved::Hex(block)}});
  d["diskBlocks"] = std::move(disk);
  return d;
}

std::vector<bool> ReadBits(const saved::Reader& r, const json& value, const std::string& where) {
  std::vector<bool> bits;
  for (const char c : r.Text(value, where)) {
    if (c != '0' && c != '1') r.Fail(where, "must hold only 0 and 1");
    bits.push_back(c == '1');
  }
  return bits;
}

template <std::size_t N>
std::array<std::uint8_t, N> ReadArray(const saved::Reader& r, const json& value, const std::string& where) {
  const auto bytes = r.Bytes(value, where, N, N);
  std::array<std::uint8_t, N> out{};
  std::copy(bytes.begin(), bytes.end(), out.begin());
  return out;
}

BridgeState ReadDevice(const saved::Reader& r, const json& d, const std::string& where) {
  r.Keys(d, {"path", "plugged", "run", "firmware", "flash", "nvram", "manufacturingLoaded",
             "downloadPending", "blocksWritten", "plugTimeMs", "lastSense", "commandCount",
             "kindCounts", "faultsFired", "corruptionsUsed", "diskBlocks"},
         {"path", "plugged", "run", "firmware", "flash", "nvram", "manufacturingLoaded",
          "downloadPending", "blocksWritten", "plugTimeMs", "lastSense", "commandCount",
          "kindCounts", "faultsFired", "corruptionsUsed", "diskBlocks"},
         where);
  BridgeState s;
  const std::string run = r.Text(d["run"], where + ".run");
  if (run == "firmware") {
    s.run = BridgeState::Run::Firmware;
  } else if (run == "boot-rom") {
    s.run = BridgeState::Run::BootRom;
  } else if (run == "manufacturing") {
    s.run = BridgeState::Run::Manufacturing;
  } else {
    r.Fail(where + ".run", "must be \"firmware\", \"boot-rom\" or \"manufacturing\", not \"" + run + "\"");
  }
  s.version = ReadArray<4>(r, d["firmware"], where + ".firmware");
  s.flash.assign(kSimFlashSize, 0xFF);
  const json& flash = d["flash"];
  if (!flash.is_array()) r.Fail(where + ".flash", "must be an array");
  for (std::size_t i = 0; i < flash.size(); ++i) {
    const std::string at = where + ".flash[" + std::to_string(i) + "]";
    r.Keys(flash[i], {"offset", "data"}, {"offset", "data"}, at);
    const auto offset =
        static_cast<std::size_t>(r.Unsigned(flash[i]["offset"], at + ".offset", kSimFlashSize - 1));
    const auto data = r.Bytes(flash[i]["data"], at + ".data", 0, kSimFlashSize - offset);
    std::copy(data.begin(), data.end(), s.flash.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  s.nvram = ReadArray<512>(r, d["nvram"], where + ".nvram");
  s.manufacturingLoaded = r.Bool(d["manufacturingLoaded"], where + ".manufacturingLoaded");
  s.downloadPending = r.Bool(d["downloadPending"], where + ".downloadPending");
  s.blocksWritten = ReadBits(r, d["blocksWritten"], where + ".blocksWritten");
  s.plugTimeMs = r.Unsigned(d["plugTimeMs"], where + ".plugTimeMs", UINT64_MAX);
  s.lastSense = ReadArray<18>(r, d["lastSense"], where + ".lastSense");
  s.commandCount = static_cast<std::uint32_t>(r.Unsigned(d["commandCount"], where + ".commandCount", UINT32_MAX));
  const json& kinds = d["kindCounts"];
  if (!kinds.is_object()) r.Fail(where + ".kindCounts", "must be an object");
  for (const auto& item : kinds.items()) {
    s.kindCounts[item.key()] = static_cast<std::uint32_t>(
        r.Unsigned(item.value(), where + ".kindCounts." + item.key(), UINT32_MAX));
  }
  s.faultFired = ReadBits(r, d["faultsFired"], where + ".faultsFired");
  s.corruptionUsed = ReadBits(r, d["corruptionsUsed"], where + ".corruptionsUsed");
  const json& disk = d["diskBlocks"];
  if (!disk.is_array()) r.Fail(where + ".diskBlocks", "must be an array");
  for (std::size_t i = 0; i < disk.size(); ++i) {
    const std::string at = where + ".diskBlocks[" + std::to_string(i) + "]";
    r.Keys(disk[i], {"lba", "data"}, {"lba", "data"}, at);
    s.diskBlocks[r.Unsigned(disk[i]["lba"], at + ".lba", UINT64_MAX)] =
        ReadArray<512>(r, disk[i]["data"], at + ".data");
  }
  return s;
}

}  // namespace

std::string SaveWorldState(SimWorld& world, const VirtualClock& clock) {
  json state;
  state["format"] = kFormat;
  state["version"] = kVersion;
  state["clockMs"] = clock.NowMs();
  json devices = json::array();
  for (std::size_t i = 0; i < world.DeviceCount(); ++i) devices.push_back(DeviceJson(world, i));
  state["devices"] = std::move(devices);
  return state.dump(1) + "\n";
}

void LoadWorldState(SimWorld& world, VirtualClock& clock, std::string_view text) {
  const saved::Reader r("state file");
  const json state = r.Parse(text);
  r.Keys(state, {"format", "version", "clockMs", "devices"}, {"format", "version", "clockMs", "devices"}, "");
  if (state["format"] != kFormat) r.Fail("format", "must be \"" + std::string(kFormat) + "\"");
  if (r.Unsigned(state["version"], "version", UINT32_MAX) != kVersion) {
    r.Fail("version", "this tool reads version " + std::to_string(kVersion));
  }
  const json& devices = state["devices"];
  if (!devices.is_array() || devices.size() != world.DeviceCount()) {
    r.Fail("devices", "saved for " + std::to_string(devices.is_array() ? devices.size() : 0) +
                          " devices, but the scenario has " + std::to_string(world.DeviceCount()) +
                          "; it belongs to another scenario");
  }
  // Everything is read and checked before anything changes.
  std::vector<BridgeState> states;
  std::vector<bool> plugged;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const std::string where = "devices[" + std::to_string(i) + "]";
    states.push_back(ReadDevice(r, devices[i], where));
    const std::string path = r.Text(devices[i]["path"], where + ".path");
    if (path != DeviceName(world, i)) {
      r.Fail(where + ".path", "saved for " + path + ", but the scenario's device is " +
                                  DeviceName(world, i) + "; it belongs to another scenario");
    }
    plugged.push_back(r.Bool(devices[i]["plugged"], where + ".plugged"));
  }
  const std::uint64_t savedMs = r.Unsigned(state["clockMs"], "clockMs", UINT64_MAX);
  for (std::size_t i = 0; i < states.size(); ++i) {
    try {
      world.Bridge(i).RestoreState(states[i]);
    } catch (const ScenarioError& e) {
      r.Fail("devices[" + std::to_string(i) + "]", e.what());
    }
  }
  if (savedMs > clock.NowMs()) clock.AdvanceMs(savedMs - clock.NowMs());
  for (std::size_t i = 0; i < states.size(); ++i) {
    if (!plugged[i]) world.Bridge(i).PowerCycle();
  }
}

}  // namespace corvane::sim
