// The files the package puts on the desktop: the udev rule that gives the user at the seat the
// adaptor's sg node (and nothing broader), and the desktop entry that starts the program.
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
  ASSERT_EQ(lines.size(), 1u);
  struct Case {
    const char* text;
    bool present;
  };
  for (const Case& c : {Case{"SUBSYSTEM==\"scsi_generic\"", true},
                        Case{"ATTRS{idVendor}==\"3c9f\"", true}, Case{"TAG+=\"uaccess\"", true},
                        Case{"MODE=", false},  // never world-writable
                        Case{"GROUP=", false}, Case{"RUN", false}}) {
    EXPECT_EQ(lines[0].find(c.text) != std::string::npos, c.present) << c.text;
  }
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
