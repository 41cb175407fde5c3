// `info`: everything the tool can read of one adaptor, without writing anything.
#include <cstdio>
#include <iostream>

#include "app/cli/device_outcome.h"
#include "app/cli/exit_codes.h"
#include "app/cli/scan_session.h"
#include "app/cli/shown_text.h"
#include "app/cli/verbs.h"
#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "device/chip_info.h"
#include "firmware/buffer_descriptor.h"
#include "firmware/chip_profiles.h"

namespace corvane::app::cli {
namespace {

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t b : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", b);
    if (!text.empty()) text += ' ';
    text += pair;
  }
  return text;
}

// Bytes as text: printable ASCII as it is, a backslash as \\, anything else as \xNN; padding at
// the end dropped.
std::string PrintableText(std::span<const std::uint8_t> bytes) {
  std::size_t end = bytes.size();
  while (end > 0 && (bytes[end - 1] == ' ' || bytes[end - 1] == 0)) --end;
  std::string text;
  for (std::size_t i = 0; i < end; ++i) {
    if (bytes[i] == '\\') {
      text += "\\\\";
    } else if (bytes[i] >= 0x20 && bytes[i] < 0x7F) {
      text += static_cast<char>(bytes[i]);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", bytes[i]);
      text += escaped;
    }
  }
  return text;
}

// One "key: value" fact, kept in order for the text and as a JSON member.
struct Facts {
  std::vector<std::pair<std::string, std::string>> lines;
  nlohmann::json json = nlohmann::json::object();
  void Add(const std::string& text, const std::string& key, nlohmann::json value,
           std::string shown = {}) {
    if (shown.empty() || value.is_null()) {
      shown = value.is_string()    ? value.get<std::string>()
              : value.is_null()    ? std::string("not answered")
              : value.is_boolean() ? std::string(value.get<bool>() ? "yes" : "no")
                                   : value.dump();
    }
    lines.emplace_back(text, shown);
    json[key] = std::move(value);
  }
};

nlohmann::json TextOrNull(bool ok, const std::string& text) {
  return ok ? nlohmann::json(text) : nlohmann::json(nullptr);
}

Facts ReadFacts(const DeviceOutcome& checked) {
  Facts f;
  const std::string& path = checked.checkedPath;
  const std::uint8_t code = checked.row ? device::ChipCodeOf(checked.listed[*checked.row].chipId)
                                        : checked.check.chipCode;
  if (checked.row) {
    const ListedDevice& row = checked.listed[*checked.row];
    f.Add("device", "item", TrimmedText(row.ItemText()), ShownItem(row));
  }
  f.Add("path", "path", path, ShownLine(path));
  const std::string name = ChipNameText(code);
  f.Add("chip", "chip", name.empty() ? nlohmann::json(nullptr) : nlohmann::json(name));
  f.Add("ChipCode", "chipCode", ChipCodeText(code));

  std::array<std::uint8_t, device::kChipInfoLength> info{};
  std::uint32_t count = 0;
  const bool infoRead = device::ReadChipInfo(path, info.data(), device::kChipInfoLength, &count) != 0;
  const device::ChipInfo parsed = device::ParseChipInfo(info);
  const bool usable = infoRead && parsed.signature;
  f.Add("chip information", "chipInfo", TextOrNull(infoRead, HexBytes(info)));
  f.Add("firmware", "firmware", TextOrNull(usable, VersionText(parsed.version)));
  f.Add("boot ROM", "romMode", usable ? nlohmann::json(parsed.RunsBootRom()) : nlohmann::json(nullptr));
  f.Add("USB vendor", "usbVendor", TextOrNull(usable, Hex(parsed.VendorId(), 4)));
  f.Add("USB product", "usbProduct", TextOrNull(usable, Hex(parsed.ProductId(), 4)));
  f.Add("chip model", "chipModel",
        TextOrNull(usable, PrintableText(std::span<const std::uint8_t>(info).subspan(8, 4))));

  std::array<std::uint8_t, device::kInquiryLength> inquiry{};
  const bool inquiryRead = device::ScsiInquiry(path, inquiry.data(), device::kInquiryLength) != 0;
  const std::span<const std::uint8_t> in(inquiry);
  f.Add("INQUIRY vendor", "inquiryVendor", TextOrNull(inquiryRead, PrintableText(in.subspan(8, 8))));
  f.Add("INQUIRY product", "inquiryProduct", TextOrNull(inquiryRead, PrintableText(in.subspan(16, 16))));
  f.Add("INQUIRY revision", "inquiryRevision", TextOrNull(inquiryRead, PrintableText(in.subspan(32, 4))));

  std::array<std::uint8_t, 4> flash{};
  const bool flashRead = device::ReadFlashType(path, flash.data()) != 0;
  f.Add("flash type", "flashType", TextOrNull(flashRead, HexBytes(flash)));

  firmware::BufferDescriptor descriptor;
  const bool descriptorRead = firmware::ReadBufferDescriptor(path, descriptor);
  f.Add("buffer boundary", "bufferBoundary", TextOrNull(descriptorRead, Hex(descriptor.offsetBoundary, 2)),
        Hex(descriptor.offsetBoundary, 2) +
            (descriptor.offsetBoundary == firmware::kBoundaryRunning ? " (firmware runs, 1024-byte blocks)"
             : descriptor.offsetBoundary == firmware::kBoundaryBootRom ? " (boot ROM)"
                                                                        : ""));
  f.Add("buffer capacity", "bufferCapacity",
        descriptorRead ? nlohmann::json(descriptor.capacity) : nlohmann::json(nullptr),
        Hex(descriptor.capacity, 6) + " (" + std::to_string(descriptor.capacity) + " bytes)");

  // Only the updatable chips keep their NVRAM where this tool knows to look.
  const firmware::ChipProfile* chip = firmware::FindChipProfile(code);
  std::array<std::uint8_t, device::kNvramBlockLength> nvram{};
  bool nvramRead = false;
  if (chip != nullptr) {
    device::WaitBridgeReady(path);
    nvramRead = device::ReadChipMemory(path, chip->nvramAddress, nvram.data(),
                                       device::kNvramBlockLength) != 0;
  }
  const std::span<const std::uint8_t> block(nvram);
  for (int field = 0; field < 3; ++field) {
    const std::string n = std::to_string(field + 1);
    f.Add("NVRAM field " + n, "nvramField" + n,
          TextOrNull(nvramRead, PrintableText(block.subspan(200 + 8 * field, 8))));
  }
  return f;
}

}  // namespace

int RunInfo(const CliOptions& options, Backend& backend) {
  HeadlessView view;
  TForm1 form(view);
  int exitCode = kExitOk;
  const auto checked = ScanAndCheck(options, form, view, exitCode);
  if (!checked) return exitCode;
  if (checked->outcome == Outcome::NoDevice || checked->outcome == Outcome::Several) {
    if (options.json) {
      backend.PrintJsonResult(OutcomeJson(*checked));
    } else {
      std::cout << DescribeOutcome(*checked);
      PrintCheckHints(*checked);
    }
    return exitCode;
  }
  Facts facts = ReadFacts(*checked);
  facts.Add("check", "check", std::string(OutcomeName(checked->outcome)));
  if (const std::string reason = OutcomeReason(*checked); !reason.empty()) {
    facts.Add("reason", "reason", reason);
  }
  if (options.json) {
    backend.PrintJsonResult(facts.json);
  } else {
    for (const auto& [key, value] : facts.lines) std::cout << key << ": " << value << '\n';
  }
  // What could be read was shown; the check's verdict is in its own line.
  return kExitOk;
}

}  // namespace corvane::app::cli
