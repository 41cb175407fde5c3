#include "app/cli/device_outcome.h"

#include <cstdio>

#include "app/cli/backend.h"
#include "app/cli/exit_codes.h"
#include "device/ascii_text.h"
#include "firmware/chip_profiles.h"

namespace corvane::app::cli {
namespace {

Outcome FromCheck(CheckResultKind kind) {
  switch (kind) {
    case CheckResultKind::Current: return Outcome::Current;
    case CheckResultKind::UpdateOffered: return Outcome::UpdateOffered;
    case CheckResultKind::Unlisted: return Outcome::Unlisted;
    case CheckResultKind::NotSupported:
    case CheckResultKind::NoDevice: break;
  }
  return Outcome::NotSupported;
}

}  // namespace

std::optional<std::size_t> CheckListedDevice(TForm1& form, HeadlessView& view,
                                             const std::string& device) {
  const std::string wanted = device::LowerCaseAscii(device);
  const std::vector<ListedDevice>& listed = form.LastScan().listed;
  for (std::size_t row = 0; row < listed.size(); ++row) {
    if (listed[row].path != wanted) continue;
    // With one listed adaptor the scan has already checked it.
    if (listed.size() > 1) {
      view.SelectDeviceItem(static_cast<int>(row));
      form.CheckForUpdate();
    }
    return row;
  }
  return std::nullopt;
}

DeviceOutcome ReadOutcome(const TForm1& form, const HeadlessView& view,
                          std::optional<std::size_t> checkedRow) {
  DeviceOutcome result;
  const ScanResult& scan = form.LastScan();
  result.status = view.StatusText();
  result.listed = scan.listed;
  result.accessDenied = scan.accessDenied && scan.listed.empty();
  if (scan.outcome == ScanOutcome::NoAdaptor || scan.outcome == ScanOutcome::NotRun) {
    result.outcome = Outcome::NoDevice;
    return result;
  }
  if (!checkedRow && scan.outcome == ScanOutcome::Several) {
    // The scan does not check when several adaptors are listed.
    result.outcome = Outcome::Several;
    return result;
  }
  result.check = form.LastCheck();
  result.outcome = FromCheck(result.check.kind);
  result.checkedPath = result.check.path;
  if (checkedRow && *checkedRow < result.listed.size()) {
    result.row = checkedRow;
  } else if (!result.listed.empty()) {
    // One listed device: the scan checked row 0.
    result.row = 0;
  }
  return result;
}

int ExitCodeFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::NoDevice: return kExitNoDevice;
    case Outcome::Several: return kExitSeveral;
    case Outcome::Current: return kExitOk;
    case Outcome::UpdateOffered: return kExitUpdateOffered;
    case Outcome::Unlisted: return kExitUnlisted;
    case Outcome::NotSupported: return kExitNotSupported;
  }
  return kExitNotSupported;
}

std::string_view OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::NoDevice: return "no-device";
    case Outcome::Several: return "several-adaptors";
    case Outcome::Current: return "current";
    case Outcome::UpdateOffered: return "update-offered";
    case Outcome::Unlisted: return "unlisted-version";
    case Outcome::NotSupported: return "not-supported";
  }
  return "not-supported";
}

std::string VersionText(const std::array<std::uint8_t, 4>& version) {
  char text[24];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", version[0], version[1], version[2], version[3]);
  return text;
}

std::string ChipNameText(std::uint8_t chipCode) {
  const firmware::ChipProfile* chip = firmware::FindChipProfile(chipCode);
  return chip != nullptr ? std::string(chip->chipName) : std::string();
}

std::string ChipCodeText(std::uint8_t chipCode) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", chipCode);
  return text;
}

std::string DescribeOutcome(const DeviceOutcome& outcome) {
  std::string text;
  if (outcome.outcome == Outcome::Several) {
    for (const auto& row : outcome.listed) {
      text += "adaptor: " + row.ItemText() + "  " + row.path + "\n";
    }
  } else if (outcome.outcome != Outcome::NoDevice) {
    if (outcome.row) text += "device: " + outcome.listed[*outcome.row].ItemText() + "\n";
    if (!outcome.checkedPath.empty()) text += "path: " + outcome.checkedPath + "\n";
    const std::uint8_t code = outcome.check.chipCode;
    if (code != 0) {
      const std::string name = ChipNameText(code);
      text += "chip: " + (name.empty() ? std::string("unknown") : name) + " (ChipCode " +
              ChipCodeText(code) + ")\n";
    }
    if (outcome.check.chipInfoRead) {
      text += "firmware: " + VersionText(outcome.check.version) +
              (outcome.check.romMode ? " (boot ROM)" : "") + "\n";
    }
  }
  text += "result: " + std::string(OutcomeName(outcome.outcome)) + "\n";
  text += "status: " + outcome.status + "\n";
  return text;
}

std::string JsonText(const nlohmann::json& j, int indent) {
  return j.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json OutcomeJson(const DeviceOutcome& outcome) {
  nlohmann::json j;
  j["result"] = OutcomeName(outcome.outcome);
  j["status"] = outcome.status;
  j["devices"] = nlohmann::json::array();
  for (const auto& row : outcome.listed) {
    j["devices"].push_back({{"item", row.ItemText()},
                            {"bus", BusName(row.bus)},
                            {"model", row.model},
                            {"path", row.path}});
  }
  const bool checked = outcome.outcome != Outcome::NoDevice && outcome.outcome != Outcome::Several;
  j["path"] = checked && !outcome.checkedPath.empty() ? nlohmann::json(outcome.checkedPath)
                                                      : nlohmann::json(nullptr);
  j["chipCode"] = checked ? nlohmann::json(outcome.check.chipCode) : nlohmann::json(nullptr);
  const std::string name = checked ? ChipNameText(outcome.check.chipCode) : std::string();
  j["chip"] = name.empty() ? nlohmann::json(nullptr) : nlohmann::json(name);
  j["firmware"] = checked && outcome.check.chipInfoRead
                      ? nlohmann::json(VersionText(outcome.check.version))
                      : nlohmann::json(nullptr);
  j["romMode"] = checked && outcome.check.chipInfoRead && outcome.check.romMode;
  j["failedGate"] = checked && outcome.check.failedGate != CheckGate::None
                        ? nlohmann::json(CheckGateName(outcome.check.failedGate))
                        : nlohmann::json(nullptr);
  j["accessDenied"] = outcome.accessDenied;
  return j;
}

}  // namespace corvane::app::cli
