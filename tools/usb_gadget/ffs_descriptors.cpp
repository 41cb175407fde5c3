#include "tools/usb_gadget/ffs_descriptors.h"

namespace corvane::tools::usb_gadget {
namespace {

// Values fixed by the USB and FunctionFS interfaces; kept here rather than taken from the kernel
// headers so that the blobs can be checked on any host.
constexpr std::uint32_t kDescriptorsMagicV2 = 3;
constexpr std::uint32_t kStringsMagic = 2;
constexpr std::uint32_t kHasFullSpeed = 1, kHasHighSpeed = 2, kHasSuperSpeed = 4;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void PutInterface(std::vector<std::uint8_t>& out) {
  // bLength, INTERFACE, number 0, alternate 0, two endpoints, mass storage / SCSI / Bulk-Only, string 1
  out.insert(out.end(), {9, 4, 0, 0, 2, 0x08, 0x06, 0x50, 1});
}

void PutBulkEndpoint(std::vector<std::uint8_t>& out, std::uint8_t address, std::uint32_t maxPacket,
                     bool superSpeed) {
  out.insert(out.end(), {7, 5, address, 0x02});
  Put16(out, maxPacket);
  out.push_back(0);
  if (superSpeed) out.insert(out.end(), {6, 0x30, 0, 0, 0, 0});  // companion: no bursts, no streams
}

void PutSpeed(std::vector<std::uint8_t>& out, std::uint32_t maxPacket, bool superSpeed) {
  PutInterface(out);
  PutBulkEndpoint(out, 0x81, maxPacket, superSpeed);
  PutBulkEndpoint(out, 0x02, maxPacket, superSpeed);
}

}  // namespace

std::vector<std::uint8_t> BuildFunctionFsDescriptors() {
  std::vector<std::uint8_t> body;
  PutSpeed(body, 64, false);
  PutSpeed(body, 512, false);
  PutSpeed(body, 1024, true);

  std::vector<std::uint8_t> out;
  Put32(out, kDescriptorsMagicV2);
  Put32(out, 0);  // total length, filled below
  Put32(out, kHasFullSpeed | kHasHighSpeed | kHasSuperSpeed);
  Put32(out, 3);  // full speed: interface + 2 endpoints
  Put32(out, 3);  // high speed
  Put32(out, 5);  // super speed: interface + 2 x (endpoint + companion)
  out.insert(out.end(), body.begin(), body.end());
  const auto total = static_cast<std::uint32_t>(out.size());
  for (int i = 0; i < 4; ++i) out[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(total >> (8 * i));
  return out;
}

std::vector<std::uint8_t> BuildFunctionFsStrings(std::string_view interfaceName) {
  std::vector<std::uint8_t> out;
  Put32(out, kStringsMagic);
  Put32(out, 0);
  Put32(out, 1);  // strings per language
  Put32(out, 1);  // languages
  Put16(out, 0x0409);
  out.insert(out.end(), interfaceName.begin(), interfaceName.end());
  out.push_back(0);
  const auto total = static_cast<std::uint32_t>(out.size());
  for (int i = 0; i < 4; ++i) out[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(total >> (8 * i));
  return out;
}

}  // namespace corvane::tools::usb_gadget
