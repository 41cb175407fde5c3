// The FunctionFS blobs: the kernel refuses the whole function when a count or length is off, and the
// host's usb-storage driver binds only to class 08/06/50 with one bulk pipe each way.
#include <gtest/gtest.h>

#include "tools/usb_gadget/ffs_descriptors.h"

namespace corvane::tools::usb_gadget {
namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

struct Descriptor {
  std::uint8_t type;
  std::vector<std::uint8_t> bytes;
};

// Walks descriptors by their own length bytes, as the kernel does.
std::vector<Descriptor> Walk(const std::vector<std::uint8_t>& b, std::size_t from) {
  std::vector<Descriptor> out;
  while (from < b.size()) {
    const std::uint8_t length = b[from];
    if (length < 2 || from + length > b.size()) return {};
    out.push_back({b[from + 1], std::vector<std::uint8_t>(b.begin() + static_cast<long>(from),
                                                          b.begin() + static_cast<long>(from + length))});
    from += length;
  }
  return out;
}

TEST(FunctionFsDescriptors, HeaderCountsAndLengthMatchTheBody) {
  const auto blob = BuildFunctionFsDescriptors();
  EXPECT_EQ(Le32(blob, 0), 3u);  // v2 magic
  EXPECT_EQ(Le32(blob, 4), blob.size());
  EXPECT_EQ(Le32(blob, 8), 7u);  // full, high and super speed present
  const auto descriptors = Walk(blob, 24);
  EXPECT_EQ(descriptors.size(), Le32(blob, 12) + Le32(blob, 16) + Le32(blob, 20));
}

TEST(FunctionFsDescriptors, EachSpeedHasTheMassStorageInterfaceAndBulkPipes) {
  const auto descriptors = Walk(BuildFunctionFsDescriptors(), 24);
  ASSERT_EQ(descriptors.size(), 11u);
  struct Expect {
    std::size_t interfaceAt, inAt, outAt;
    std::uint16_t maxPacket;
  };
  for (const Expect e : {Expect{0, 1, 2, 64}, Expect{3, 4, 5, 512}, Expect{6, 7, 9, 1024}}) {
    const auto& i = descriptors[e.interfaceAt].bytes;
    ASSERT_EQ(descriptors[e.interfaceAt].type, 4);
    EXPECT_EQ(i[4], 2);  // endpoints
    EXPECT_EQ((std::vector<std::uint8_t>{i[5], i[6], i[7]}), (std::vector<std::uint8_t>{0x08, 0x06, 0x50}));
    for (const auto& [at, address] : {std::pair{e.inAt, 0x81}, std::pair{e.outAt, 0x02}}) {
      const auto& ep = descriptors[at].bytes;
      ASSERT_EQ(descriptors[at].type, 5);
      EXPECT_EQ(ep[2], address);
      EXPECT_EQ(ep[3], 0x02);  // bulk
      EXPECT_EQ(ep[4] | ep[5] << 8, e.maxPacket);
    }
  }
  // Super speed: each endpoint is followed by its companion.
  EXPECT_EQ(descriptors[8].type, 0x30);
  EXPECT_EQ(descriptors[10].type, 0x30);
}

TEST(FunctionFsStrings, OneLanguageOneTerminatedString) {
  const auto blob = BuildFunctionFsStrings("Bulk-Only");
  EXPECT_EQ(Le32(blob, 0), 2u);
  EXPECT_EQ(Le32(blob, 4), blob.size());
  EXPECT_EQ(Le32(blob, 8), 1u);
  EXPECT_EQ(Le32(blob, 12), 1u);
  EXPECT_EQ(blob[16] | blob[17] << 8, 0x0409);
  EXPECT_EQ(std::string(blob.begin() + 18, blob.end()), std::string("Bulk-Only") + '\0');
}

}  // namespace
}  // namespace corvane::tools::usb_gadget
