// The files the package puts on the desktop: the udev rule that gives the user at the seat the
// adaptor's sg node (and nothing broader), and the desktop entry that starts the program.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace corvane::app::qt::testing {
namespace {

const std::filesystem::path kResources = std::filesystem::path(CORVANE_SOURCE_DIR) / "resources";

std::vector<std::string> RuleLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.front() == '#') continue;
    lines.push_back(line);
  }
  return lines;
}

TEST(DesktopFiles, UdevRuleOpensOnlyTheAdaptorsSgNodeToTheSeatUser) {
  const std::filesystem::path rule = kResources / "70-corvane-update.rules";
  // uaccess is applied by 73-seat-late.rules, so the rule's number must sort before it.
  EXPECT_LT(std::stoi(rule.filename().string().substr(0, 2)), 73);
  const std::vector<std::string> lines = RuleLines(rule);
  const auto has = [](const std::string& line, const char* text) {
    return line.find(text) != std::string::npos;
  };
  // Every line that grants access grants it to an sg node only: that of a USB device with the chip
  // maker's vendor id, or (FireWire) of a SCSI device whose INQUIRY vendor is the brand's or the
  // chip maker's.
  std::vector<std::string> grants;
  std::vector<std::string> gotos, labels;
  for (const std::string& line : lines) {
    for (const char* broader : {"MODE=", "GROUP=", "OWNER=", "RUN"}) {
      EXPECT_FALSE(has(line, broader)) << line;  // never world-writable, no group, no program
    }
    if (const auto at = line.find("GOTO=\""); at != std::string::npos) {
      gotos.push_back(line.substr(at + 6, line.find('"', at + 6) - at - 6));
    }
    if (line.starts_with("LABEL=\"")) labels.push_back(line.substr(7, line.size() - 8));
    if (!has(line, "TAG+=\"uaccess\"")) continue;
    grants.push_back(line);
    EXPECT_TRUE(has(line, "SUBSYSTEM==\"scsi_generic\"")) << line;
    const bool usb = has(line, "SUBSYSTEMS==\"usb\"") && has(line, "ATTRS{idVendor}==\"3c9f\"");
    const bool fireWire = has(line, "SUBSYSTEMS==\"scsi\"") &&
                          has(line, "ATTRS{vendor}==\"Corvane*|CORVANE*|Quorvel*|QUORVEL*\"");
    EXPECT_TRUE(usb || fireWire) << line;
  }
  EXPECT_EQ(grants.size(), 2u);
  // udev ignores a GOTO whose label is missing: the FireWire grant would then reach every sg node
  // with that INQUIRY vendor, whatever its bus.
  for (const std::string& target : gotos) {
    EXPECT_NE(std::find(labels.begin(), labels.end(), target), labels.end()) << target;
  }
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.back(), "corvane_update_end");
}

TEST(DesktopFiles, DesktopEntryStartsTheInstalledProgramWithItsIcon) {
  std::ifstream in(kResources / "corvane-update-tool.desktop");
  std::map<std::string, std::string> keys;
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "[Desktop Entry]");
  for (std::string line; std::getline(in, line);) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) keys[line.substr(0, equals)] = line.substr(equals + 1);
  }
  const std::map<std::string, std::string> expected = {
      {"Type", "Application"},          {"Name", "Corvane Update Tool"},
      {"Exec", "corvane-update-tool"},  {"Icon", "corvane-update-tool"},
      {"Terminal", "false"},            {"StartupWMClass", "corvane-update-tool"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(keys[key], value) << key;
}

}  // namespace
}  // namespace corvane::app::qt::testing
