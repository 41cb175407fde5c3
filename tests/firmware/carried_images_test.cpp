#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "firmware/carried_images.h"
#include "firmware/image_layout.h"
#include "firmware/chip_profiles.h"

namespace corvane::firmware {
namespace {

using namespace ::corvane::device;

using Loader = std::uint32_t (*)(std::uint8_t*, std::uint32_t, std::uint32_t);

std::uint32_t Rom0Selector0(std::uint8_t* d, std::uint32_t o, std::uint32_t l) {
  return LoadRom0MfgImage(d, o, l, 0);
}
std::uint32_t Rom0Selector1(std::uint8_t* d, std::uint32_t o, std::uint32_t l) {
  return LoadRom0MfgImage(d, o, l, 1);
}

struct LoaderCase {
  const char* what;
  Loader loader;
  std::string_view type, name;
  std::uint32_t offset, length;
  std::uint32_t size, copied;  // expected result and bytes copied
};

TEST(CarriedImages, LoadersCopyAsAskedAndReturnTheWholeSize) {
  const LoaderCase cases[] = {
      {"nvme whole", LoadNvmeBridgeFirmware, "FW", "KTS260_V234_01_00_01", 0, 0, 67072, 67072},
      {"sata whole", LoadSataBridgeFirmware, "FW", "KTS210_FW", 0, 0, 50688, 50688},
      {"mfg whole", LoadRomMfgImage, "MFG", "KTS260_ROM_MFG", 0, 0, 65536, 65536},
      {"length fits", LoadNvmeBridgeFirmware, "FW", "KTS260_V234_01_00_01", 0x100, 16, 67072, 16},
      {"exactly to the end", LoadSataBridgeFirmware, "FW", "KTS210_FW", 50680, 8, 50688, 8},
      {"length past end", LoadSataBridgeFirmware, "FW", "KTS210_FW", 50680, 9, 50688, 8},
      {"wrapping length", LoadRomMfgImage, "MFG", "KTS260_ROM_MFG", 16, 0xFFFFFFF8u, 65536, 65520},
      {"offset at end", LoadRomMfgImage, "MFG", "KTS260_ROM_MFG", 65536, 0, 65536, 0},
      {"offset past end", LoadRomMfgImage, "MFG", "KTS260_ROM_MFG", 70000, 4, 65536, 0},
      {"rom0 selector 0", Rom0Selector0, "FW", "KTS217_ROM0_MFG", 0, 0, 0, 0},
      {"rom0 selector 1", Rom0Selector1, "FW", "KTS204_ROM0_MFG", 0, 0, 0, 0},
  };
  for (const LoaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> destination(0x11000, 0xA5);
    EXPECT_EQ(c.loader(destination.data(), c.offset, c.length), c.size);
    const auto image = FindCarriedImage(c.type, c.name);
    ASSERT_EQ(image.size(), c.size);
    if (c.copied != 0) {
      EXPECT_EQ(std::memcmp(destination.data(), image.data() + c.offset, c.copied), 0);
    }
    // Nothing past the copy count is touched.
    EXPECT_EQ(destination[c.copied], 0xA5);
  }
}

TEST(ChipProfiles, EachUpdatableChipHasItsImagesAreaAndAddresses) {
  struct Row {
    std::uint8_t chipCode;
    std::string_view name;
    std::uint32_t imageSize, area, romCapacity, nvramAddress;
    bool manufacturingCarried;
  };
  const Row rows[] = {
      {0x13, "KTS210", 0xC600, 0xC400, 0xC400, 0xD000, false},
      {0x16, "KTS260", 0x10600, 0x10400, 0x10000, 0x11000, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name));
    const ChipProfile* chip = FindChipProfile(row.chipCode);
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(chip->chipName, row.name);
    EXPECT_EQ(chip->firmwareArea, row.area);
    EXPECT_EQ(chip->romCapacity, row.romCapacity);
    EXPECT_EQ(chip->nvramAddress, row.nvramAddress);
    const auto image = FindCarriedImage(chip->firmwareType, chip->firmwareName);
    EXPECT_EQ(image.size(), row.imageSize);
    EXPECT_EQ(chip->firmwareImageSize, row.imageSize);
    std::vector<std::uint8_t> copy(0x80000);
    EXPECT_EQ(chip->loadFirmware(copy.data(), 0, 0), row.imageSize);
    const auto manufacturing = FindCarriedImage(chip->manufacturingType, chip->manufacturingName);
    EXPECT_EQ(manufacturing.size(), row.manufacturingCarried ? row.romCapacity : 0u);
    EXPECT_EQ(chip->loadManufacturing(copy.data(), row.romCapacity, 0),
              row.manufacturingCarried ? row.romCapacity : 0u);
    EXPECT_EQ(chip->updatableFromBootRom, row.manufacturingCarried);
  }
  for (int other : {0, 1, 0x12, 0x14, 0x15, 0x17, 39}) {
    EXPECT_EQ(FindChipProfile(static_cast<std::uint8_t>(other)), nullptr);
  }
  // The type is part of the name: the manufacturing image is not found as firmware.
  EXPECT_TRUE(FindCarriedImage("FW", "KTS260_ROM_MFG").empty());
}

struct LayoutCase {
  std::string_view type, name;
  std::uint32_t area;  // 0: manufacturing image
  std::array<std::uint8_t, 4> kind, version;
  std::string_view model;
};

// The fields the simulator and the version checks rely on, in real and placeholder builds alike.
TEST(CarriedImages, ImagesHaveTheDocumentedLayout) {
  const LayoutCase cases[] = {
      {"FW", "KTS210_FW", 0xC400, {3, 3, 5, 5}, {'0', '1', '0', '3'}, "Quorvel KTS217"},
      {"FW", "KTS260_V234_01_00_01", 0x10400, {3, 3, 5, 5}, {234, 1, 0, 1}, "Quorvel KTS260"},
      {"MFG", "KTS260_ROM_MFG", 0, {4, 4, 6, 6}, {'0', '3', '3', '4'}, "Quorvel KTS260"},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto image = FindCarriedImage(c.type, c.name);
    ASSERT_GT(image.size(), 0x400u);
    auto at = [&](std::size_t offset, std::size_t n) { return image.subspan(offset, n); };
    auto same = [](auto a, auto b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); };
    EXPECT_TRUE(same(at(0, 4), std::array<std::uint8_t, 4>{0x01, 0x00, 0x3C, 0x9F}));
    EXPECT_TRUE(same(at(6, 4), c.kind));
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(image.data()) + 10, 14), c.model);
    EXPECT_EQ(image[24], 0x01);
    EXPECT_TRUE(same(at(25, 4), c.version));
    if (c.area == 0) continue;
    EXPECT_TRUE(same(at(0x200, 4), std::array<std::uint8_t, 4>{0x5A, 0xC3, 0x69, 0xE1}));
    // What a restore checks of a firmware area holds for every carried one, and the placeholders'
    // filler is known for what it is.
    EXPECT_EQ(FirmwareAreaProblem(at(0, c.area)), "");
    // One byte off in any part of the layout, or a blank area, and the area is refused.
    for (std::size_t offset : {std::size_t{0}, std::size_t{1}, std::size_t{kImageVendorIdAt},
                               std::size_t{kImageVendorIdAt + 1}, std::size_t{kCodeBlockAt},
                               std::size_t{kCodeBlockAt + 3}}) {
      std::vector<std::uint8_t> broken(image.begin(), image.begin() + c.area);
      broken[offset] ^= 0x10;
      EXPECT_NE(FirmwareAreaProblem(broken), "") << "byte " << offset;
    }
    for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
      EXPECT_NE(FirmwareAreaProblem(std::vector<std::uint8_t>(c.area, fill)), "") << int{fill};
    }
    EXPECT_EQ(IsPlaceholderFirmwareArea(at(0, c.area)), CarriesPlaceholderImages());
    EXPECT_TRUE(same(at(c.area - 20, 4), c.version));
    if (c.version[0] == 234) {
      EXPECT_TRUE(same(at(0x208, 4), c.version));
    }
    const auto block = at(c.area, 512);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(block.data()) + 200, 8), "Quorvel ");
    EXPECT_TRUE(same(block.subspan(216, 8), std::array<std::uint8_t, 8>{}));
  }
}

// Placeholders must be the same bytes on every platform and compiler: the simulator's traces and
// the cross build depend on it.
TEST(CarriedImages, PlaceholdersAreStable) {
  if (!CarriesPlaceholderImages()) GTEST_SKIP() << "real images carried";
  const std::pair<std::string_view, std::uint32_t> expected[] = {
      {"KTS210_FW", 4012799908u},
      {"KTS260_V234_01_00_01", 1699167203u},
      {"KTS260_ROM_MFG", 913772247u}};
  for (const auto& [name, hash] : expected) {
    auto image = FindCarriedImage(name == "KTS260_ROM_MFG" ? "MFG" : "FW", name);
    std::uint32_t fnv = 2166136261u;
    for (std::uint8_t b : image) fnv = (fnv ^ b) * 16777619u;
    EXPECT_EQ(fnv, hash) << name;
  }
}

}  // namespace
}  // namespace corvane::firmware
