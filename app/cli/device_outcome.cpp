#include "app/cli/device_outcome.h"

#include <cstdio>

#include "app/cli/backend.h"
#include "app/cli/exit_codes.h"
#include "app/cli/shown_text.h"
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

std::string GateReason(const UpdateCheckResult& check) {
  const firmware::ChipProfile* chip = firmware::FindChipProfile(check.chipCode);
  switch (check.failedGate) {
    case CheckGate::None: break;
    case CheckGate::ChipCode:
      return "the bridge identifies as ChipCode " + ChipCodeText(check.chipCode) +
             ", not as a KTS210 or KTS260; this tool updates only those two";
    case CheckGate::FlashType:
      return "the bridge did not report its flash type, so its flash cannot be written safely";
    case CheckGate::ChipInfo: return "the bridge's chip information could not be read";
    case CheckGate::Signature:
      return "the bridge's chip information does not carry the chip maker's signature (F4 E7)";
    case CheckGate::BootRom:
      return "the bridge runs its boot ROM; a " +
             std::string(chip != nullptr ? chip->bridgeKind : "") +
             " bridge in that state cannot be updated by this tool";
    case CheckGate::NvramRead: return "the bridge's NVRAM block could not be read";
    case CheckGate::Inquiry: return "the adaptor's INQUIRY data could not be read";
    case CheckGate::Volant:
      return "the adaptor names the VOLANT product line, which this tool does not update";
  }
  return {};
}

}  // namespace

std::string TrimmedText(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

std::string ShownItem(const ListedDevice& device) {
  return ShownText(TrimmedText(device.ItemText()));
}

std::string OfferedVersionText(std::uint8_t chipCode) {
  const firmware::ChipProfile* chip = firmware::FindChipProfile(chipCode);
  return chip != nullptr ? std::string(chip->offeredVersionText) : std::string();
}

std::string OutcomeReason(const DeviceOutcome& outcome) {
  switch (outcome.outcome) {
    case Outcome::Current:
    case Outcome::UpdateOffered: return {};
    case Outcome::NoDevice:
      if (outcome.accessDenied) return "adaptors are attached, but this user may not open them";
      if (outcome.foundDiskCount == 0) {
        return "no attached USB, UAS or 1394 disk answers as a bridge of the chip maker";
      }
      return std::to_string(outcome.foundDiskCount) +
             " disk(s) answer as a bridge of the chip maker, but none identifies as a known chip";
    case Outcome::Several:
      return std::to_string(outcome.listed.size()) +
             " adaptors are attached; the tool checks one at a time";
    case Outcome::Unlisted:
      return "the bridge runs firmware " +
             (outcome.check.chipInfoRead ? VersionText(outcome.check.version) : std::string("?")) +
             ", a version this tool does not list; it is left as it is";
    case Outcome::NotSupported: {
      std::string reason = GateReason(outcome.check);
      return reason.empty() ? std::string("the device is not a supported Corvane adaptor") : reason;
    }
  }
  return {};
}

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
  result.foundDiskCount = scan.foundDiskCount;
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
      text += "adaptor: " + ShownItem(row) + "  " + ShownLine(row.path) + "\n";
    }
  } else if (outcome.outcome != Outcome::NoDevice) {
    if (outcome.row) text += "device: " + ShownItem(outcome.listed[*outcome.row]) + "\n";
    if (!outcome.checkedPath.empty()) text += "path: " + ShownLine(outcome.checkedPath) + "\n";
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
    if (outcome.outcome == Outcome::UpdateOffered) {
      text += "offered firmware: " + OfferedVersionText(code) + "\n";
    }
  }
  text += "result: " + std::string(OutcomeName(outcome.outcome)) + "\n";
  text += "status: " + outcome.status + "\n";
  if (const std::string reason = OutcomeReason(outcome); !reason.empty()) {
    text += "reason: " + reason + "\n";
  }
  return text;
}

std::string JsonText(const nlohmann::json& j, int indent) {
  return j.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json OutcomeJson(const DeviceOutcome& outcome) {
  nlohmann::json j;
  j["result"] = OutcomeName(outcome.outcome);
  j["status"] = outcome.status;
  const std::string reason = OutcomeReason(outcome);
  j["reason"] = reason.empty() ? nlohmann::json(nullptr) : nlohmann::json(reason);
  j["devices"] = nlohmann::json::array();
  for (const auto& row : outcome.listed) {
    j["devices"].push_back({{"item", TrimmedText(row.ItemText())},
                            {"bus", BusName(row.bus)},
                            {"model", TrimmedText(row.model)},
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
  j["offeredFirmware"] = outcome.outcome == Outcome::UpdateOffered
                             ? nlohmann::json(OfferedVersionText(outcome.check.chipCode))
                             : nlohmann::json(nullptr);
  j["romMode"] = checked && outcome.check.chipInfoRead && outcome.check.romMode;
  j["failedGate"] = checked && outcome.check.failedGate != CheckGate::None
                        ? nlohmann::json(CheckGateName(outcome.check.failedGate))
                        : nlohmann::json(nullptr);
  j["accessDenied"] = outcome.accessDenied;
  return j;
}

}  // namespace corvane::app::cli
