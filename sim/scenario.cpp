// The families' constants and the devices a scenario starts from.
#include "sim/scenario.h"

#include "device/usb_products.h"

#include <algorithm>
#include <string_view>

namespace corvane::sim {

using namespace device;
namespace {

void PutText(std::array<std::uint8_t, 512>& block, std::size_t at, std::string_view text) {
  std::copy(text.begin(), text.end(), block.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::uint32_t FirmwareAreaOf(ChipFamily family) {
  switch (family) {
    case ChipFamily::Kts210: return 0xC400;
    case ChipFamily::Kts260: return 0x10400;
    default: return 0;
  }
}

std::uint32_t RomCapacityOf(ChipFamily family) {
  switch (family) {
    case ChipFamily::Kts210: return 0xC400;
    case ChipFamily::Kts260: return 0x10000;
    default: return 0;
  }
}

std::uint32_t NvramAddressOf(ChipFamily family) {
  return family == ChipFamily::Kts210 ? 0xD000 : 0x11000;
}

bool IsBridge(ChipFamily family) {
  return family == ChipFamily::Kts210 || family == ChipFamily::Kts260;
}

std::array<std::uint8_t, 512> DefaultNvramBlock(ChipFamily family) {
  const bool sata = family == ChipFamily::Kts210;
  std::array<std::uint8_t, 512> block{};
  block[0] = 0xA5;  // layout mark and block length, which the rewrite leaves alone
  block[1] = 0x5A;
  block[2] = 0x02;
  block[3] = 0x00;
  block[4] = 0x3C;  // USB vendor id
  block[5] = 0x9F;
  block[6] = sata ? 0x21 : 0x26;  // USB product id
  block[7] = sata ? 0x72 : 0x02;
  block[8] = 0x01;  // device release
  block[9] = 0x00;
  PutText(block, 0x10, "Quorvel Technology Inc.");
  PutText(block, 0x30, sata ? "Quorvel KTS210 SATA Bridge" : "Quorvel KTS260 NVMe Bridge");
  PutText(block, 0x50, "000000000001");
  block[0x60] = 0xFA;  // bus power in 2 mA units
  block[0x61] = 0x80;  // attributes: bus powered
  block[0x62] = sata ? 0x01 : 0x03;  // UAS and bulk-only enabled
  PutText(block, 0x70, "Quorvel");  // maker's name in a second descriptor set
  PutText(block, 200, "Quorvel ");
  PutText(block, 208, sata ? "SATA    " : "NVMe    ");
  // 216..223: field 3 stays zero.
  std::fill(block.begin() + 224, block.begin() + 508, std::uint8_t{0xFF});
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 508; ++i) sum += block[i];
  for (std::size_t i = 0; i < 4; ++i) block[508 + i] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
  return block;
}

DeviceConfig DefaultDeviceConfig(ChipFamily family) {
  DeviceConfig d;
  d.family = family;
  IdentificationAnswers& id = d.identification;
  switch (family) {
    case ChipFamily::Kts260:
    case ChipFamily::Kts210: {
      const bool sata = family == ChipFamily::Kts210;
      d.inquiry = {"Corvane ", sata ? "KTS210 SATA     " : "KTS260 NVMe     ",
                   sata ? "0213" : "0108"};
      d.firmware = sata ? std::array<std::uint8_t, 4>{0, 2, 1, 3}
                        : std::array<std::uint8_t, 4>{0, 1, 0, 8};
      d.bus = Bus::Usb;
      id.chipIdWord = sata ? std::array<std::uint8_t, 2>{0x21, 0x00}
                           : std::array<std::uint8_t, 2>{0x26, 0x00};
      ChipInfoAnswer info;
      // The adaptors enumerate with the ids of the Corvane product list, and the bridge reports
      // the same product id in its chip information.
      const device::UsbProduct& product = device::kCorvaneUsbProducts[sata ? 0 : 1];
      info.productId = product.productId;
      info.model = sata ? "217" : "260";
      info.revision = '1';
      id.chipInfo = info;
      id.chipInfoAlt = info;
      id.buffer1OffsetBoundary = 9;
      id.buffer1Data = {0x00, 0x00, 0x00, 0x00, 0x02, static_cast<std::uint8_t>(sata ? 0x17 : 0x60)};
      id.flashType = std::array<std::uint8_t, 4>{0xEF, 0x40, 0x15, 0x00};
      d.nvram = DefaultNvramBlock(family);
      d.usbVendorId = product.vendorId;  // the chip maker's, which the adaptors keep
      d.usbProductId = product.productId;
      break;
    }
    case ChipFamily::UsbStick:
      d.inquiry = {"Generic ", "USB Flash Disk  ", "1.00"};
      d.usbVendorId = 0x0951;  // another maker's
      d.firmware = {0, 0, 0, 0};
      break;
    case ChipFamily::InternalDisk:
      d.bus = Bus::Internal;
      d.inquiry = {"ATA     ", "SIM SSD 256GB   ", "1.0 "};
      d.firmware = {0, 0, 0, 0};
      break;
  }
  return d;
}

Scenario ScenarioOf(std::vector<DeviceConfig> devices) {
  Scenario s;
  for (auto& d : devices) s.devices.push_back(std::make_shared<const DeviceConfig>(std::move(d)));
  return s;
}

}  // namespace corvane::sim
