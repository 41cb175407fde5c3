// Stand-ins for the chip maker's images, used when the build is given no folder of real images.
// They have the names, sizes and layout of the real ones (header fields, the marker at 0x200, the
// repeated version bytes, the trailing default configuration block) so that every procedure and
// the simulator behave as with the real images; the body is deterministic pseudo-random filler that
// no bridge could run. The bytes are computed at compile time, so the same bytes come out of every
// compiler and platform and no host tool is needed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "firmware/carried_images.h"
#include "firmware/chip_profiles.h"
#include "firmware/image_layout.h"
#include "firmware/image_table.h"
#include "firmware/placeholder_recipes.h"

namespace corvane::firmware {
namespace {

constexpr std::uint32_t kSataImageSize = kKts210Profile.firmwareImageSize;
constexpr std::uint32_t kNvmeImageSize = kKts260Profile.firmwareImageSize;
constexpr std::uint32_t kMfgImageSize = kKts260Profile.romCapacity;
// The firmware images end with their 512-byte default configuration block.
static_assert(kSataImageSize == kKts210Profile.firmwareArea + 512);
static_assert(kNvmeImageSize == kKts260Profile.firmwareArea + 512);

using placeholder::Next;
using placeholder::Recipe;

template <std::size_t N>
constexpr void PutText(std::array<std::uint8_t, N>& image, std::size_t at, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) image[at + i] = static_cast<std::uint8_t>(text[i]);
}

template <std::size_t N>
constexpr void PutBytes(std::array<std::uint8_t, N>& image, std::size_t at,
                        const std::array<std::uint8_t, 4>& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) image[at + i] = bytes[i];
}

// The default configuration block in the NVRAM layout: USB ids, descriptor texts in which the
// maker's name also appears (outside the identification fields), and the three fields at 200.
template <std::size_t N>
constexpr void PutDefaultBlock(std::array<std::uint8_t, N>& image, std::size_t at,
                               const Recipe& recipe) {
  image[at + 0] = 0x9F;  // vendor id 0x3C9F, little-endian as in a USB device descriptor
  image[at + 1] = 0x3C;
  image[at + 2] = recipe.product[1];
  image[at + 3] = recipe.product[0];
  PutText(image, at + 0x10, "Quorvel");
  PutText(image, at + 0x30, recipe.model);
  PutText(image, at + 200, "Quorvel ");
  PutText(image, at + 208, recipe.productWord);
  // Field 3 at 216 stays zero.
}

template <std::size_t N>
constexpr std::array<std::uint8_t, N> MakeImage(const Recipe& recipe) {
  std::array<std::uint8_t, N> image{};
  std::uint32_t state = recipe.seed;
  const std::size_t bodyEnd = recipe.firmwareArea != 0 ? recipe.firmwareArea : N;
  for (std::size_t i = placeholder::kBodyBegin; i < bodyEnd; ++i) {
    image[i] = static_cast<std::uint8_t>(Next(state));
  }

  image[0] = kImageHeaderStart[0];
  image[1] = kImageHeaderStart[1];
  image[kImageVendorIdAt] = 0x3C;  // the maker's USB vendor id, big-endian
  image[kImageVendorIdAt + 1] = 0x9F;
  image[4] = recipe.product[0];
  image[5] = recipe.product[1];
  PutBytes(image, 6, recipe.kind);
  PutText(image, 10, recipe.model);
  image[24] = 0x01;
  PutBytes(image, 25, recipe.version);

  if (recipe.firmwareArea != 0) {
    PutBytes(image, kCodeBlockAt, kCodeBlockMarker);
    if (recipe.nvmeVersionAt0x208) PutBytes(image, 0x208, recipe.version);
    PutBytes(image, recipe.firmwareArea - 20, recipe.version);
    PutDefaultBlock(image, recipe.firmwareArea, recipe);
  }

  // A value that differs from image to image: the byte sum of everything after the header.
  std::uint32_t sum = 0;
  for (std::size_t i = 0x200; i < N; ++i) sum += image[i];
  image[508] = static_cast<std::uint8_t>(sum >> 24);
  image[509] = static_cast<std::uint8_t>(sum >> 16);
  image[510] = static_cast<std::uint8_t>(sum >> 8);
  image[511] = static_cast<std::uint8_t>(sum);
  return image;
}

constexpr auto kSataImage = MakeImage<kSataImageSize>(placeholder::kSata);
constexpr auto kNvmeImage = MakeImage<kNvmeImageSize>(placeholder::kNvme);
constexpr auto kMfgImage = MakeImage<kMfgImageSize>(placeholder::kManufacturing);

constexpr std::array<CarriedImage, 3> kImages{{
    {kKts210Profile.firmwareType, kKts210Profile.firmwareName, kSataImage},
    {kKts260Profile.firmwareType, kKts260Profile.firmwareName, kNvmeImage},
    {kKts260Profile.manufacturingType, kKts260Profile.manufacturingName, kMfgImage},
}};

}  // namespace

std::span<const CarriedImage> CarriedImageTable() { return kImages; }

bool CarriesPlaceholderImages() { return true; }

}  // namespace corvane::firmware
