#include "sim/command_kind.h"

#include <algorithm>
#include <array>

namespace corvane::sim {

namespace {

constexpr std::array<std::string_view, 23> kKindNames = {
    "ScsiInquiry",   "ReadChipIdWord",  "ReadChipInfo",     "ReadChipInfoAlt",
    "ReadBridgeStatus", "ReadFlashType", "ReadLegacyChipId", "ReadChipMemory",
    "WriteChipMemory", "ProbeVendorB5", "RequestSense",     "ReadBuffer",
    "WriteBuffer",   "TestUnitReady",   "ReadCapacity",     "ModeSense",
    "Read",          "Write",           "SynchronizeCache", "PreventAllowMediumRemoval",
    "StartStopUnit", "ReportLuns",      "Other"};

std::uint8_t ByteAt(std::span<const std::uint8_t> cdb, std::size_t index) {
  return index < cdb.size() ? cdb[index] : std::uint8_t{0};
}

}  // namespace

std::string_view CommandKindName(std::span<const std::uint8_t> cdb) {
  switch (ByteAt(cdb, 0)) {
    case 0x12: return "ScsiInquiry";
    case 0xDF:
      switch (ByteAt(cdb, 11)) {
        case 0xFF: return "ReadChipIdWord";
        case 0xFA: return "ReadChipMemory";
        case 0xFB: return "WriteChipMemory";
        default: return "Other";
      }
    case 0xE0: return "ReadChipInfo";
    case 0xFE: return "ReadChipInfoAlt";
    case 0xFF:
      if (ByteAt(cdb, 1) != 0x04) return "Other";
      switch (ByteAt(cdb, 2)) {
        case 0x12: return "ReadBridgeStatus";
        case 0x23: return "ReadFlashType";
        case 0x30: return "ReadLegacyChipId";
        default: return "Other";
      }
    case 0xB5: return "ProbeVendorB5";
    case 0x03: return "RequestSense";
    case 0x3C: return "ReadBuffer";
    case 0x3B: return "WriteBuffer";
    case 0x00: return "TestUnitReady";
    case 0x25: return "ReadCapacity";
    case 0x9E: return ByteAt(cdb, 1) == 0x10 ? "ReadCapacity" : "Other";
    case 0x1A:
    case 0x5A: return "ModeSense";
    case 0x08:
    case 0x28:
    case 0x88: return "Read";
    case 0x0A:
    case 0x2A:
    case 0x8A: return "Write";
    case 0x35:
    case 0x91: return "SynchronizeCache";
    case 0x1E: return "PreventAllowMediumRemoval";
    case 0x1B: return "StartStopUnit";
    case 0xA0: return "ReportLuns";
    default: return "Other";
  }
}

bool IsCommandKindName(std::string_view name) {
  return std::find(kKindNames.begin(), kKindNames.end(), name) != kKindNames.end();
}

}  // namespace corvane::sim
