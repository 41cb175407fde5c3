// What a scan and its update check came to, read off the form's results, and how the CLI names,
// prints and exits for it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/headless_view.h"
#include "app/form.h"
#include "nlohmann/json.hpp"

namespace corvane::app::cli {

enum class Outcome { NoDevice, Several, Current, UpdateOffered, Unlisted, NotSupported };

struct DeviceOutcome {
  Outcome outcome = Outcome::NoDevice;
  std::string status;                 // the window's status text, exactly
  std::vector<ListedDevice> listed;   // what the scan listed
  std::optional<std::size_t> row;     // the listed row the check ran on
  std::string checkedPath;            // the path the check ran on (also an unlisted one)
  UpdateCheckResult check;            // valid for Current, UpdateOffered, Unlisted, NotSupported
  bool accessDenied = false;          // adaptors present that this user may not open
  int foundDiskCount = 0;             // disks that answered as a bridge of the chip maker
};

// After a scan: runs the check on the listed row whose path is `device` (compared lower-cased)
// and returns that row; nullopt when no listed row has that path.
std::optional<std::size_t> CheckListedDevice(TForm1& form, HeadlessView& view,
                                             const std::string& device);

// Reads the form after a scan and the check it ran, or the check of `checkedRow`; the status is
// the text the window shows.
DeviceOutcome ReadOutcome(const TForm1& form, const HeadlessView& view,
                          std::optional<std::size_t> checkedRow = std::nullopt);

int ExitCodeFor(Outcome outcome);
// "no-device", "several-adaptors", "current", "update-offered", "unlisted-version", "not-supported".
std::string_view OutcomeName(Outcome outcome);
// "a.b.c.d" in decimal.
std::string VersionText(const std::array<std::uint8_t, 4>& version);
// "KTS210", "KTS260" or an empty text for every other code.
std::string ChipNameText(std::uint8_t chipCode);
// "0x16".
std::string ChipCodeText(std::uint8_t chipCode);

// The INQUIRY text of a list item without the padding the device puts behind it.
std::string TrimmedText(std::string text);
// A listed adaptor's item as the text output shows it: trimmed, the device's bytes escaped.
std::string ShownItem(const ListedDevice& device);
// The version this tool offers for the chip, as the offer names it ("234.01.00.01"); empty for a
// chip it does not update.
std::string OfferedVersionText(std::uint8_t chipCode);
// Why the outcome is what it is, in words (the failed gate, the unlisted version, no adaptor,
// several adaptors); empty for a current bridge and an offered update.
std::string OutcomeReason(const DeviceOutcome& outcome);

// Human lines (one "key: value" per line) and the JSON object of an outcome; both carry the same
// facts.
std::string DescribeOutcome(const DeviceOutcome& outcome);
nlohmann::json OutcomeJson(const DeviceOutcome& outcome);
// The one way the CLI writes JSON. Texts come from the bridge (INQUIRY bytes), which may hold any
// byte: what is not UTF-8 is written as U+FFFD, so the output stays JSON instead of failing.
std::string JsonText(const nlohmann::json& j, int indent = -1);

}  // namespace corvane::app::cli
