// Scenario files: the built-ins load, every documented key is read, and every mistake is reported
// with the place where it stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>

#include "sim/scenario.h"
#include "sim/sim.h"

namespace corvane::sim {
namespace {

using namespace ::corvane::device;

TEST(Scenarios, BuiltInsLoadWithTheirDevices) {
  struct Row {
    const char* name;
    std::vector<ChipFamily> families;
    std::vector<Bus> buses;
  };
  const Row rows[] = {
      {"kts210", {ChipFamily::Kts210}, {Bus::Usb}},
      {"kts260", {ChipFamily::Kts260}, {Bus::Usb}},
      {"none", {ChipFamily::InternalDisk}, {Bus::Internal}},
      {"two", {ChipFamily::Kts210, ChipFamily::Kts260}, {Bus::Usb, Bus::Usb}},
      {"kts260-current", {ChipFamily::Kts260}, {Bus::Usb}},
      {"kts210-current", {ChipFamily::Kts210}, {Bus::Usb}},
      {"kts260-rom", {ChipFamily::Kts260}, {Bus::Usb}},
      {"kts210-rom", {ChipFamily::Kts210}, {Bus::Usb}},
      {"usb-stick", {ChipFamily::UsbStick}, {Bus::Usb}},
      {"volant", {ChipFamily::Kts260}, {Bus::Usb}},
      {"uas", {ChipFamily::Kts260}, {Bus::Uas}},
      {"1394", {ChipFamily::Kts210}, {Bus::Ieee1394}},
  };
  const auto names = BuiltInScenarioNames();
  for (const Row& row : rows) {
    EXPECT_NE(std::find(names.begin(), names.end(), row.name), names.end()) << row.name;
    const auto scenario = BuiltInScenario(row.name);
    ASSERT_TRUE(scenario) << row.name;
    ASSERT_EQ(scenario->devices.size(), row.families.size()) << row.name;
    for (std::size_t i = 0; i < row.families.size(); ++i) {
      EXPECT_EQ(scenario->devices[i]->family, row.families[i]) << row.name;
      EXPECT_EQ(scenario->devices[i]->bus, row.buses[i]) << row.name;
    }
  }
  // Every listed name loads, and an unknown one gives nothing.
  for (const auto& name : names) EXPECT_TRUE(BuiltInScenario(name)) << name;
  EXPECT_FALSE(BuiltInScenario("kts999"));
}

TEST(Scenarios, BuiltInVersionsAndModes) {
  struct Row {
    const char* name;
    std::array<std::uint8_t, 4> firmware;
    bool romMode;
  };
  const Row rows[] = {
      {"kts210", {0, 2, 1, 3}, false},      {"kts260", {0, 1, 0, 8}, false},
      {"kts210-current", {0, 2, 1, 4}, false}, {"kts260-current", {234, 1, 0, 1}, false},
      {"kts260-rom", {0, 1, 0, 8}, true},   {"kts210-rom", {0, 2, 1, 3}, true},
  };
  for (const Row& row : rows) {
    const auto d = BuiltInScenario(row.name)->devices.at(0);
    EXPECT_EQ(d->firmware, row.firmware) << row.name;
    EXPECT_EQ(d->romMode, row.romMode) << row.name;
  }
  const auto volant = BuiltInScenario("volant")->devices.at(0);
  std::string text = volant->inquiry.vendor + volant->inquiry.product;
  std::transform(text.begin(), text.end(), text.begin(), ::toupper);
  EXPECT_NE(text.find("VOLANT"), std::string::npos);
}

std::optional<std::uint32_t> OneDeviceCapacity(const std::string& descriptor) {
  return ParseScenario(R"({"devices": [{"chip": "KTS260", "descriptor": )" + descriptor + "}]}")
      .devices.at(0)->capacity;
}

TEST(Scenarios, EveryKeyIsRead) {
  const auto s = ParseScenario(R"({"description": "all keys", "devices": [{
      "bus": "uas", "chip": "KTS210", "firmware": [1, 2, 3, 4], "romMode": true,
      "inquiry": {"vendor": "V", "product": "P", "revision": "R"}, "busyMs": 250, "stayBusy": true,
      "descriptor": {"offsetBoundary": 9, "capacity": 4096}, "nvram": {"field2": "abc"},
      "faults": [{"command": "WriteBuffer", "nth": 7, "effect": "timeout"},
                 {"afterCommands": 40, "effect": "unplug"},
                 {"corruptReadBack": 1024, "once": false}],
      "diskBlocks": 64, "pathUnreadable": true, "accessDenied": true, "comment": "free text"}]})");
  const DeviceConfig& d = *s.devices.at(0);
  EXPECT_EQ(d.bus, Bus::Uas);
  EXPECT_EQ(d.family, ChipFamily::Kts210);
  EXPECT_EQ(d.firmware, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_TRUE(d.romMode);
  EXPECT_EQ(d.inquiry.vendor, "V");
  EXPECT_EQ(d.inquiry.product, "P");
  EXPECT_EQ(d.inquiry.revision, "R");
  EXPECT_EQ(d.busyMs, 250u);
  EXPECT_TRUE(d.stayBusy);
  EXPECT_EQ(d.offsetBoundary, 9);
  EXPECT_EQ(d.capacity, 4096u);
  // 0 is a capacity a bridge may report, not "the default".
  EXPECT_EQ(OneDeviceCapacity(R"({"capacity": 0})"), 0u);
  EXPECT_EQ(OneDeviceCapacity(R"({"offsetBoundary": 10})"), std::nullopt);
  EXPECT_EQ(std::string(d.nvram.begin() + 208, d.nvram.begin() + 216), std::string("abc\0\0\0\0\0", 8));
  ASSERT_EQ(d.faults.size(), 2u);
  EXPECT_EQ(d.faults[0].command, "WriteBuffer");
  EXPECT_EQ(d.faults[0].nth, 7u);
  EXPECT_EQ(d.faults[0].effect, FaultEffect::Timeout);
  EXPECT_EQ(d.faults[1].afterCommands, 40u);
  EXPECT_EQ(d.faults[1].effect, FaultEffect::Unplug);
  ASSERT_EQ(d.corruptions.size(), 1u);
  EXPECT_EQ(d.corruptions[0].offset, 1024u);
  EXPECT_FALSE(d.corruptions[0].once);
  EXPECT_EQ(d.diskBlocks, 64u);
  EXPECT_TRUE(d.pathUnreadable);
  EXPECT_TRUE(d.accessDenied);
}

TEST(Scenarios, MistakesAreNamed) {
  struct Row {
    const char* json;
    const char* message;  // part of the error text
  };
  const Row rows[] = {
      {R"({"devices": [], "extra": 1})", "top level: unknown key \"extra\""},
      {R"({"device": []})", "unknown key \"device\""},
      {R"({"description": "x"})", "needs an array \"devices\""},
      {R"({"devices": [{"bus": "usb"}]})", "devices[0]: needs \"chip\""},
      {R"({"devices": [{"chip": "KTS260", "colour": "red"}]})", "devices[0]: unknown key \"colour\""},
      {R"({"devices": [{"chip": "KTS999"}]})", "devices[0].chip: unknown chip \"KTS999\""},
      {R"({"devices": [{"chip": "KTS260", "bus": "pci"}]})", "devices[0].bus: unknown bus \"pci\""},
      {R"({"devices": [{"chip": "KTS260", "firmware": [1, 2, 3]}]})", "devices[0].firmware: must hold 4 bytes"},
      {R"({"devices": [{"chip": "KTS260", "firmware": [1, 2, 3, 256]}]})", "devices[0].firmware[3]: is larger than 255"},
      {R"({"devices": [{"chip": "KTS260", "busyMs": -5}]})", "devices[0].busyMs: must not be negative"},
      {R"({"devices": [{"chip": "KTS260", "busyMs": "soon"}]})", "devices[0].busyMs: is not a number"},
      {R"({"devices": [{"chip": "KTS260", "romMode": 1}]})", "devices[0].romMode: must be true or false"},
      {R"({"devices": [{"chip": "KTS260", "inquiry": {"vendor": "Corvane Ltd"}}]})", "devices[0].inquiry.vendor: is longer than 8"},
      {R"({"devices": [{"chip": "KTS260", "descriptor": {"capacity": 16777216}}]})", "devices[0].descriptor.capacity: is larger"},
      {R"({"devices": [{"chip": "KTS260", "nvram": {"field4": "x"}}]})", "devices[0].nvram: unknown key \"field4\""},
      {R"({"devices": [{"chip": "KTS260", "faults": {}}]})", "devices[0].faults: must be an array"},
      {R"({"devices": [{"chip": "KTS260", "faults": [{"command": "Erase", "effect": "unplug"}]}]})", "devices[0].faults[0].command: unknown command \"Erase\""},
      {R"({"devices": [{"chip": "KTS260", "faults": [{"command": "WriteBuffer", "nth": 0, "effect": "unplug"}]}]})", "faults[0].nth: counts from 1"},
      {R"({"devices": [{"chip": "KTS260", "faults": [{"command": "WriteBuffer", "effect": "explode"}]}]})", "faults[0].effect: unknown effect \"explode\""},
      {R"({"devices": [{"chip": "KTS260", "faults": [{"command": "WriteBuffer"}]}]})", "faults[0]: needs \"effect\""},
      {R"({"devices": [{"chip": "KTS260", "faults": [{"nth": 2, "effect": "unplug"}]}]})", "faults[0]: needs \"command\""},
      {R"({"devices": [{"chip": "KTS260", "faults": [{"afterCommands": 0}]}]})", "faults[0].afterCommands: must be at least 1"},
      {R"({"devices": [{"chip": "KTS260", "faults": [{"corruptReadBack": 5, "twice": true}]}]})", "faults[0]: unknown key \"twice\""},
      {R"({"devices": [{"chip": {"base": "KTS260", "chipInfo": {"model": "2601"}}}]})", "devices[0].chip.chipInfo.model: is longer than 3"},
      {R"({"devices": [{"chip": {"base": "KTS260", "colour": 1}}]})", "devices[0].chip: unknown key \"colour\""},
      {R"({"devices": [{"chip": {"chipIdWord": [1]}}]})", "devices[0].chip.chipIdWord: must hold 2 bytes"},
      {R"({"devices": [ {"chip": "KTS260"}, ]})", "not valid JSON"},
      {"", "not valid JSON"},
      {"devices: []", "not valid JSON"},
      {"[]", "top level: must be an object"},
      {R"({"devices": [{"chip": "KTS260", "comment": 5}]})", "devices[0].comment: must be a text"},
      {R"({"devices": [], "description": ["a"]})", "top level.description: must be a text"},
      {R"({"devices": [{"chip": "KTS260", "busyMs": 1.5}]})", "devices[0].busyMs: must be a whole number"},
      {R"({"devices": [{"chip": "KTS260", "inquiry": {"vendor": "\u00e9\u00e9\u00e9\u00e9\u00e9"}}]})", "inquiry.vendor: is longer than 8"},
      {"{\"devices\": [{\"chip\": \"KTS\xff\"}]}", "not valid JSON"},  // not UTF-8
      {R"({"devices": [{"chip": "KTS260", "comment": [[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]}]})", "nested deeper than 16"},
      {R"({"devices": [{"chip": "KTS260", "busyMs": 1E400}]})", "not valid JSON"},
  };
  for (const Row& row : rows) {
    try {
      ParseScenario(row.json);
      ADD_FAILURE() << "accepted: " << row.json;
    } catch (const ScenarioError& e) {
      EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos)
          << row.json << "\n  gave: " << e.what();
    }
  }
}

TEST(Scenarios, ChipObjectSpellsOutTheAnswers) {
  const auto s = ParseScenario(R"({"devices": [{"chip": {"base": "KTS210", "inquiryChipId": "j123",
      "chipIdWord": null, "chipInfo": [244, 231, 60, 159, 0, 1, 2, 3, 52, 53, 54, 55, 9, 9, 9, 9],
      "chipInfoAlt": null, "buffer1": {"offsetBoundary": 3, "data": [0, 0, 0, 0, 1, "0x57"]},
      "legacyId": "j123A3xx", "b5": true, "flashType": null}}]})");
  const DeviceConfig& d = *s.devices.at(0);
  EXPECT_EQ(d.family, ChipFamily::Kts210);
  const IdentificationAnswers& id = d.identification;
  EXPECT_EQ(id.inquiryChipId, "j123");
  EXPECT_FALSE(id.chipIdWord);
  ASSERT_TRUE(id.chipInfo);
  ASSERT_TRUE(id.chipInfo->raw);
  EXPECT_EQ(id.chipInfo->raw->size(), 16u);
  EXPECT_FALSE(id.chipInfoAlt);
  EXPECT_EQ(id.buffer1OffsetBoundary, 3);
  EXPECT_EQ(id.buffer1Data, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0x57}));
  EXPECT_EQ(id.legacyId, "j123A3xx");
  EXPECT_TRUE(id.answersB5);
  EXPECT_FALSE(id.flashType);
}

TEST(Scenarios, FilesLoadAndMissingFilesAreReported) {
  const std::string name = ::testing::TempDir() + "corvane_sim_scenario.json";
  {
    std::ofstream out(name);
    out << R"({"devices": [{"chip": "KTS260", "bus": "1394"}]})";
  }
  const auto s = LoadScenarioFile(name);
  ASSERT_EQ(s.devices.size(), 1u);
  EXPECT_EQ(s.devices[0]->bus, Bus::Ieee1394);
  std::remove(name.c_str());
}

// Files that are no scenario: each is refused with words that say why, and nothing is loaded.
TEST(Scenarios, UnusableFilesAreRefusedWithTheReason) {
  const std::string dir = ::testing::TempDir();
  struct Row {
    const char* what;
    std::string name;
    std::string content;  // written to `name` first unless `name` is a folder or missing
    const char* message;
  };
  const Row rows[] = {
      {"missing", dir + "corvane_no_such_scenario.json", "", "corvane_no_such_scenario.json does not exist"},
      {"a folder", dir, "", "is a folder, not a file"},
      {"empty", dir + "corvane_empty.json", "", "not valid JSON"},
      {"not JSON", dir + "corvane_text.json", "devices: KTS260\n", "not valid JSON"},
      {"deeply nested", dir + "corvane_deep.json", std::string(1000000, '[') + std::string(1000000, ']'),
       "nested deeper than 16"},
      {"huge", dir + "corvane_huge.json",
       "{\"devices\": [], \"description\": \"" + std::string(17u << 20, 'x') + "\"}", "larger than a scenario can be (17825"},
  };
  for (const Row& row : rows) {
    if (!row.content.empty() || row.what == std::string("empty")) {
      std::ofstream(row.name, std::ios::binary) << row.content;
    }
    try {
      LoadScenarioFile(row.name);
      ADD_FAILURE() << row.what << ": loaded";
    } catch (const ScenarioError& e) {
      EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos) << row.what << ": " << e.what();
      EXPECT_EQ(std::string(e.what()).find("not valid JSON") != std::string::npos,
                std::string(row.message) == "not valid JSON") << row.what << ": " << e.what();
    }
    if (row.name != dir) std::remove(row.name.c_str());
  }
}

}  // namespace
}  // namespace corvane::sim
