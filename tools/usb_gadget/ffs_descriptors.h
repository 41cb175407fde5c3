// The blobs that FunctionFS takes on ep0 before it creates the endpoint files: one mass-storage
// interface (class 08, SCSI transparent 06, Bulk-Only 50) with a bulk IN and a bulk OUT endpoint, for
// full, high and super speed, and the interface's one string.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace corvane::tools::usb_gadget {

// Endpoint files appear in descriptor order: ep1 is bulk IN, ep2 is bulk OUT.
std::vector<std::uint8_t> BuildFunctionFsDescriptors();
std::vector<std::uint8_t> BuildFunctionFsStrings(std::string_view interfaceName);

}  // namespace corvane::tools::usb_gadget
