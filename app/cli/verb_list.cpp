// `list`: the window's discovery and identification, one line per listed adaptor.
#include <iostream>

#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/shown_text.h"
#include "app/cli/verbs.h"
#include "app/device_scan.h"
#include "app/form_texts.h"
#include "app/update_check.h"
#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "device/chip_info.h"
#include "device/system_devices.h"

namespace corvane::app::cli {
namespace {

struct ListLine {
  ListedDevice device;
  std::uint8_t chipCode = 0;
  std::optional<std::array<std::uint8_t, 4>> firmware;
  bool romMode = false;
  bool offered = false;  // the version rules would offer the carried firmware
};

ListLine Describe(const ListedDevice& device) {
  ListLine line;
  line.device = device;
  line.chipCode = device::ChipCodeOf(device.chipId);
  // The version is shown only from a chip information block that carries the bridge's signature.
  std::array<std::uint8_t, device::kChipInfoLength> answer{};
  std::uint32_t count = 0;
  if (device::ReadChipInfo(device.path, answer.data(), device::kChipInfoLength, &count) != 0) {
    const device::ChipInfo info = device::ParseChipInfo(answer);
    if (info.signature) {
      line.firmware = info.version;
      line.romMode = info.RunsBootRom();
      line.offered = firmware::FindChipProfile(line.chipCode) != nullptr &&
                     DecideVersion(line.chipCode, answer) == VersionVerdict::UpdateOffered;
    }
  }
  return line;
}

}  // namespace

int RunList(const CliOptions& options, Backend& backend) {
  const ScanResult scan = ScanBridgeDevices();
  std::vector<ListLine> lines;
  for (const auto& device : scan.listed) lines.push_back(Describe(device));

  const bool noAccess = scan.listed.empty() && scan.accessDenied;
  DeviceOutcome none;
  none.foundDiskCount = scan.foundDiskCount;
  none.accessDenied = noAccess;
  const std::string reason = lines.empty() ? OutcomeReason(none) : std::string();
  if (options.json) {
    nlohmann::json j;
    j["foundDiskCount"] = scan.foundDiskCount;
    j["accessDenied"] = scan.accessDenied;
    j["devices"] = nlohmann::json::array();
    for (const auto& line : lines) {
      const std::string name = ChipNameText(line.chipCode);
      j["devices"].push_back({
          {"item", TrimmedText(line.device.ItemText())},
          {"bus", BusName(line.device.bus)},
          {"model", TrimmedText(line.device.model)},
          {"chipCode", line.chipCode},
          {"chip", name.empty() ? nlohmann::json(nullptr) : nlohmann::json(name)},
          {"firmware", line.firmware ? nlohmann::json(VersionText(*line.firmware))
                                     : nlohmann::json(nullptr)},
          {"offeredFirmware", line.offered ? nlohmann::json(OfferedVersionText(line.chipCode))
                                           : nlohmann::json(nullptr)},
          {"romMode", line.firmware && line.romMode},
          {"path", line.device.path},
      });
    }
    if (lines.empty()) {
      j["status"] = kStatusNoDevice;
      j["reason"] = reason;
    }
    backend.PrintJsonResult(j);
  } else {
    for (const auto& line : lines) {
      std::cout << ShownItem(line.device) << "  ChipCode=" << ChipCodeText(line.chipCode);
      const std::string name = ChipNameText(line.chipCode);
      if (!name.empty()) std::cout << " chip=" << name;
      if (line.firmware) {
        std::cout << " firmware=" << VersionText(*line.firmware)
                  << " romMode=" << (line.romMode ? "yes" : "no");
        if (line.offered) std::cout << " offered=" << OfferedVersionText(line.chipCode);
      }
      std::cout << " path=" << ShownLine(line.device.path) << '\n';
    }
    if (lines.empty()) std::cout << kStatusNoDevice << '\n' << "reason: " << reason << '\n';
  }
  if (noAccess) {
    const device::PlatformAdvice& advice = device::AdviceForThisPlatform();
    std::cerr << kAccessDeniedCaption << ":\n" << advice.accessDenied << '\n'
              << advice.commandLine << '\n';
    return kExitNoAccess;
  }
  return lines.empty() ? kExitNoDevice : kExitOk;
}

}  // namespace corvane::app::cli
