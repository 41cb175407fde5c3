// The plain stick: what a host's disk driver needs from it, and that it turns every vendor command away.
#include <gtest/gtest.h>
#include <ostream>

#include <vector>

#include "tools/usb_gadget/plain_disk.h"

namespace corvane::tools::usb_gadget {
namespace {

using namespace ::corvane::device;

struct DiskCase {
  const char* name;
  std::vector<std::uint8_t> cdb;
  std::uint32_t length;
  std::uint8_t status;
  std::uint32_t transferred;
  std::uint8_t senseAsc;  // additional sense code REQUEST SENSE hands out afterwards (0: none)
};

// Test names and failure messages show the case by its name, not as raw bytes.
void PrintTo(const DiskCase& c, std::ostream* out) { *out << c.name; }

class PlainDiskAnswers : public testing::TestWithParam<DiskCase> {};

TEST_P(PlainDiskAnswers, StatusTransferAndSense) {
  const DiskCase& c = GetParam();
  PlainDisk disk(2048);
  std::vector<std::uint8_t> data(c.length);
  const auto answer = disk.Execute(c.cdb, DataDirection::In, data);
  EXPECT_EQ(answer.scsiStatus, c.status);
  EXPECT_EQ(answer.transferred, c.transferred);
  std::vector<std::uint8_t> sense(18);
  const std::vector<std::uint8_t> requestSense{0x03, 0, 0, 0, 18, 0};
  disk.Execute(requestSense, DataDirection::In, sense);
  EXPECT_EQ(sense[12], c.senseAsc);
  EXPECT_EQ(sense[2], c.senseAsc ? 0x05 : 0x00);
  disk.Execute(requestSense, DataDirection::In, sense);
  EXPECT_EQ(sense[12], 0) << "REQUEST SENSE clears what it handed out";
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PlainDiskAnswers,
    testing::Values(DiskCase{"TestUnitReady", {0, 0, 0, 0, 0, 0}, 0, 0, 0, 0},
                    DiskCase{"Inquiry", {0x12, 0, 0, 0, 36, 0}, 36, 0, 36, 0},
                    DiskCase{"InquiryLongerAllocation", {0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0}, 40, 0, 36, 0},
                    DiskCase{"InquiryVitalPagesRefused", {0x12, 1, 0x80, 0, 252, 0}, 252, 2, 0, 0x24},
                    DiskCase{"ReadCapacity", {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8, 0, 8, 0},
                    DiskCase{"ReadLastBlock", {0x28, 0, 0, 0, 0x07, 0xFF, 0, 0, 1, 0}, 512, 0, 512, 0},
                    DiskCase{"ReadPastTheEnd", {0x28, 0, 0, 0, 0x07, 0xFF, 0, 0, 2, 0}, 1024, 2, 0, 0x21},
                    DiskCase{"ChipInfoRefused", {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 16, 2, 0, 0x20},
                    DiskCase{"ChipIdWordRefused", {0xDF, 0x10, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0xFF}, 2, 2, 0, 0x20},
                    DiskCase{"ReadBufferRefused", {0x3C, 0x03, 0, 0, 0, 0, 0, 0, 4, 0}, 4, 2, 0, 0x20}),
    [](const testing::TestParamInfo<DiskCase>& p) { return p.param.name; });

TEST(PlainDisk, WrittenBlocksReadBackAndOthersStayZero) {
  PlainDisk disk(64);
  std::vector<std::uint8_t> block(1024);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  const std::vector<std::uint8_t> write{0x2A, 0, 0, 0, 0, 10, 0, 0, 2, 0};
  ASSERT_EQ(disk.Execute(write, DataDirection::Out, block).scsiStatus, 0);
  std::vector<std::uint8_t> back(1536, 0xEE);
  const std::vector<std::uint8_t> read{0x28, 0, 0, 0, 0, 9, 0, 0, 3, 0};
  ASSERT_EQ(disk.Execute(read, DataDirection::In, back).scsiStatus, 0);
  EXPECT_TRUE(std::all_of(back.begin(), back.begin() + 512, [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::equal(block.begin(), block.end(), back.begin() + 512));
}

TEST(PlainDisk, ReadWithTooSmallABufferIsRefused) {
  PlainDisk disk(64);
  std::vector<std::uint8_t> small(100);
  const std::vector<std::uint8_t> read{0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0};
  EXPECT_EQ(disk.Execute(read, DataDirection::In, small).scsiStatus, 2);
}

}  // namespace
}  // namespace corvane::tools::usb_gadget
