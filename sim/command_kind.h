// Names of the command kinds as the tool's functions call them, so that scenarios can aim a fault
// at "the 3rd WriteBuffer" and traces can be read by kind.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace corvane::sim {

// "ScsiInquiry", "ReadChipIdWord", "ReadChipInfo", "ReadChipInfoAlt", "ReadBridgeStatus",
// "ReadFlashType", "ReadLegacyChipId", "ReadChipMemory", "WriteChipMemory", "ProbeVendorB5",
// "RequestSense", "ReadBuffer", "WriteBuffer", the disk commands ("TestUnitReady",
// "ReadCapacity", "ModeSense", "Read", "Write", "SynchronizeCache", "PreventAllowMediumRemoval",
// "StartStopUnit", "ReportLuns") and "Other" for anything else.
std::string_view CommandKindName(std::span<const std::uint8_t> cdb);

// True for every name CommandKindName can return.
bool IsCommandKindName(std::string_view name);

}  // namespace corvane::sim
