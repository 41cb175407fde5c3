// `list`: the window's discovery and identification, one line per listed adaptor.
#include <iostream>

#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/headless_view.h"
#include "app/cli/verbs.h"
#include "app/device_scan.h"
#include "app/form_texts.h"
#include "device/bridge_commands.h"
#include "device/chip_identification.h"

namespace corvane::app::cli {
namespace {

struct ListLine {
  ListedDevice device;
  std::string_view bus;    // "usb", "uas", "1394"
  std::string model;       // INQUIRY vendor and product text as the window lists it
  std::uint8_t chipCode = 0;
  std::optional<std::array<std::uint8_t, 4>> firmware;
  bool romMode = false;
};

std::string_view BusName(std::string_view prefix) {
  if (prefix == kPrefix1394) return "1394";
  if (prefix == kPrefixUasp) return "uas";
  return "usb";
}

ListLine Describe(const ListedDevice& device) {
  ListLine line;
  line.device = device;
  const std::string_view prefix = BusPrefix(device.path);
  line.bus = BusName(prefix);
  line.model = device.itemText.substr(std::min(prefix.size(), device.itemText.size()));
  line.chipCode = ChipCodeOf(device.chipId);
  // The version is shown only from a chip information block that carries the bridge's signature.
  std::uint8_t info[kChipInfoLength] = {};
  std::uint32_t count = 0;
  if (ReadChipInfo(device.path, info, kChipInfoLength, &count) != 0 && info[0] == 0xF4 &&
      info[1] == 0xE7) {
    line.firmware = std::array<std::uint8_t, 4>{info[12], info[13], info[14], info[15]};
    line.romMode = info[6] == 0;
  }
  return line;
}

}  // namespace

int RunList(const CliOptions& options, Backend& /*backend*/) {
  const ScanResult scan = ScanBridgeDevices();
  std::vector<ListLine> lines;
  for (const auto& device : scan.listed) lines.push_back(Describe(device));

  const bool noAccess = scan.listed.empty() && scan.accessDenied;
  if (options.json) {
    nlohmann::json j;
    j["foundDiskCount"] = scan.foundDiskCount;
    j["accessDenied"] = scan.accessDenied;
    j["devices"] = nlohmann::json::array();
    for (const auto& line : lines) {
      const std::string name = ChipNameText(line.chipCode);
      j["devices"].push_back({
          {"item", line.device.itemText},
          {"bus", line.bus},
          {"model", line.model},
          {"chipCode", line.chipCode},
          {"chip", name.empty() ? nlohmann::json(nullptr) : nlohmann::json(name)},
          {"firmware", line.firmware ? nlohmann::json(VersionText(*line.firmware))
                                     : nlohmann::json(nullptr)},
          {"romMode", line.firmware && line.romMode},
          {"path", line.device.path},
      });
    }
    if (lines.empty()) j["status"] = kStatusNoDevice;
    std::cout << j.dump(2) << '\n';
  } else {
    for (const auto& line : lines) {
      std::cout << line.device.itemText << "  ChipCode=" << ChipCodeText(line.chipCode);
      const std::string name = ChipNameText(line.chipCode);
      if (!name.empty()) std::cout << " chip=" << name;
      if (line.firmware) {
        std::cout << " firmware=" << VersionText(*line.firmware) << (line.romMode ? "(boot-ROM)" : "");
      }
      std::cout << " path=" << line.device.path << '\n';
    }
    if (lines.empty()) std::cout << kStatusNoDevice << '\n';
  }
  if (noAccess) {
    std::cerr << kAccessDeniedCaption << ":\n" << kAccessDeniedText << '\n' << kSudoHint << '\n';
    return kExitNoAccess;
  }
  return lines.empty() ? kExitNoDevice : kExitOk;
}

}  // namespace corvane::app::cli
