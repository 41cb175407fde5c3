// The USB products that are Corvane drive adaptors: the ids their bridges enumerate with. The
// adaptors keep the chip maker's vendor id, which the maker's other products (and other brands'
// adaptors on the same bridges) share, so the product id is what tells a Corvane adaptor apart.
//
// This list is the one source of the ids: the build makes the udev rule that opens an adaptor's
// sg node to the logged-in user from it (cmake/udev_rule.cmake reads the entries below, one per
// line, in this exact form), discovery uses it to decide whether a device it was not allowed to
// open may be one of ours, and the simulated adaptors enumerate with these ids.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::device {

struct UsbProduct {
  std::uint16_t vendorId;
  std::uint16_t productId;
  std::string_view adaptors;  // what enumerates with these ids
};

// clang-format off
inline constexpr std::array<UsbProduct, 2> kCorvaneUsbProducts{{
    {0x3C9F, 0x2172, "KTS210 SATA adaptors"},
    {0x3C9F, 0x2602, "KTS260 NVMe adaptors"},
}};
// clang-format on

constexpr bool IsCorvaneUsbProduct(std::uint16_t vendorId, std::uint16_t productId) {
  for (const UsbProduct& p : kCorvaneUsbProducts) {
    if (p.vendorId == vendorId && p.productId == productId) return true;
  }
  return false;
}

}  // namespace corvane::device
