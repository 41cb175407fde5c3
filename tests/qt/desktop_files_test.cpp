// The files the package puts on the desktop: the udev rule that gives the user at the seat the
// adaptor's sg node (and nothing broader), and the desktop entry that starts the program.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/usb_products.h"

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
  // The rule as the build made it from the product list (udevadm tries it in tests/linux).
  const std::filesystem::path rule = CORVANE_UDEV_RULE;
  // uaccess is applied by 73-seat-late.rules, so the rule's number must sort before it.
  EXPECT_LT(std::stoi(rule.filename().string().substr(0, 2)), 73);
  const std::vector<std::string> lines = RuleLines(rule);
  ASSERT_FALSE(lines.empty());
  // Nothing below the first line is read for any node but an sg node.
  EXPECT_EQ(lines.front(), "SUBSYSTEM!=\"scsi_generic\", GOTO=\"corvane_update_end\"");
  const auto has = [](const std::string& line, const std::string& text) {
    return line.find(text) != std::string::npos;
  };
  // One grant per listed product, matched on one USB device that is not a hub, and nothing else.
  std::vector<std::string> grants;
  std::vector<std::string> gotos, labels;
  for (const std::string& line : lines) {
    for (const char* broader : {"MODE=", "GROUP=", "OWNER=", "RUN", "ATTRS{vendor}", "firewire"}) {
      EXPECT_FALSE(has(line, broader)) << line;  // never world-writable, no group, no program
    }
    if (const auto at = line.find("GOTO=\""); at != std::string::npos) {
      gotos.push_back(line.substr(at + 6, line.find('"', at + 6) - at - 6));
    }
    if (line.starts_with("LABEL=\"")) labels.push_back(line.substr(7, line.size() - 8));
    if (has(line, "TAG+=\"uaccess\"")) grants.push_back(line);
  }
  ASSERT_EQ(grants.size(), device::kCorvaneUsbProducts.size());
  for (std::size_t i = 0; i < grants.size(); ++i) {
    char ids[64];
    std::snprintf(ids, sizeof ids, "ATTRS{idVendor}==\"%04x\", ATTRS{idProduct}==\"%04x\"",
                  device::kCorvaneUsbProducts[i].vendorId, device::kCorvaneUsbProducts[i].productId);
    EXPECT_EQ(grants[i], "SUBSYSTEMS==\"usb\", " + std::string(ids) +
                             ", ATTRS{bDeviceClass}!=\"09\", TAG+=\"uaccess\"");
  }
  // udev ignores a GOTO whose label is missing: the grants would then reach every node.
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
