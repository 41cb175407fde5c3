// The identification answers of the model, byte for byte, and what the tool's identification and
// discovery make of them.
#include <gtest/gtest.h>

#include <array>

#include "device/bridge_commands.h"
#include "device/chip_identification.h"
#include "device/device_discovery.h"
#include "tests/sim/sim_test_support.h"

namespace corvane::sim {
namespace {

using namespace ::corvane::device;

using testing::Bytes;
using testing::LiveWorld;
using testing::OneDevice;
using testing::Send;

using Block = std::vector<std::uint8_t>;

const Block kChipInfoCdb = {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Block kChipIdWordCdb = {0xDF, 0x10, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0xFF};

TEST(IdentificationAnswers, ChipInformationBlockByteForByte) {
  struct Row {
    const char* scenario;
    Block expected;
  };
  const Row rows[] = {
      {"kts260", {0xF4, 0xE7, 0x3C, 0x9F, 0x26, 0x02, 0x01, 0x00, '2', '6', '0', '1', 0, 1, 0, 8}},
      {"kts210", {0xF4, 0xE7, 0x3C, 0x9F, 0x21, 0x72, 0x01, 0x00, '2', '1', '7', '1', 0, 2, 1, 3}},
      {"kts260-current",
       {0xF4, 0xE7, 0x3C, 0x9F, 0x26, 0x02, 0x01, 0x00, '2', '6', '0', '1', 234, 1, 0, 1}},
      // The boot ROM reports 0 in byte 6.
      {"kts260-rom", {0xF4, 0xE7, 0x3C, 0x9F, 0x26, 0x02, 0x00, 0x00, '2', '6', '0', '1', 0, 1, 0, 8}},
  };
  for (const Row& row : rows) {
    LiveWorld w(row.scenario);
    auto e = Send(w.world.Bridge(0), kChipInfoCdb, 16);
    EXPECT_EQ(e.answer.scsiStatus, 0) << row.scenario;
    EXPECT_EQ(e.answer.transferred, 16u) << row.scenario;
    EXPECT_EQ(e.data, row.expected) << row.scenario;
    // The alternative opcode gives the same block.
    Block alt = kChipInfoCdb;
    alt[0] = 0xFE;
    EXPECT_EQ(Send(w.world.Bridge(0), alt, 16).data, row.expected) << row.scenario;
  }
}

TEST(IdentificationAnswers, InquiryStandardDataAndChipIdBehindIt) {
  LiveWorld w(OneDevice(R"({"chip": {"base": "KTS260", "inquiryChipId": "j260"},
                            "inquiry": {"vendor": "Corvane", "product": "Dock", "revision": "12"}})"));
  auto e = Send(w.world.Bridge(0), {0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0}, 40);
  ASSERT_EQ(e.answer.scsiStatus, 0);
  EXPECT_EQ(e.answer.transferred, 40u);
  EXPECT_EQ(e.data[0], 0x00);
  EXPECT_EQ(e.data[4], 51);
  EXPECT_EQ(Block(e.data.begin() + 8, e.data.begin() + 36), Bytes("Corvane Dock            12  "));
  EXPECT_EQ(Block(e.data.begin() + 36, e.data.end()), Bytes("j260"));
  // Without an id those bytes stay zero; a short allocation length is honoured.
  LiveWorld plain("kts260");
  auto shortRead = Send(plain.world.Bridge(0), {0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0}, 40);
  EXPECT_EQ(shortRead.answer.transferred, 36u);
  EXPECT_EQ(Block(shortRead.data.begin() + 8, shortRead.data.begin() + 32),
            Bytes("Corvane KTS260 NVMe     "));
}

TEST(IdentificationAnswers, NonBridgesRejectEveryVendorCommandButAnswerInquiry) {
  const Block vendorBlocks[] = {
      kChipInfoCdb,
      kChipIdWordCdb,
      {0xFE, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {0xFF, 0x04, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {0xFF, 0x04, 0x23, 0x04, 0, 0, 0, 0, 0, 0, 0, 0},
      {0xFF, 0x04, 0x30, 0x08, 0, 0, 0, 0, 0, 0, 0, 0},
      {0xB5, 0, 0, 0, 0, 0x64, 0, 0, 0x01, 0, 0, 0},
      {0x3C, 0x03, 0x01, 0, 0, 0, 0, 0, 0x04, 0},
      {0xDF, 0x10, 0, 0x02, 0, 0, 0, 0, 0x01, 0x10, 0, 0xFA},
  };
  for (const char* scenario : {"usb-stick", "none"}) {
    LiveWorld w(scenario);
    for (const Block& cdb : vendorBlocks) {
      auto e = Send(w.world.Bridge(0), cdb, 16);
      EXPECT_EQ(e.answer.scsiStatus, 2) << scenario << " opcode " << int(cdb[0]);
      EXPECT_EQ(e.answer.sense[2], 0x05) << scenario;   // ILLEGAL REQUEST
      EXPECT_EQ(e.answer.sense[12], 0x20) << scenario;  // invalid command operation code
    }
    EXPECT_EQ(Send(w.world.Bridge(0), {0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0}, 40).answer.scsiStatus, 0);
  }
}

TEST(IdentificationAnswers, IdentifyChipOnEveryRoute) {
  struct Row {
    const char* device;
    std::uint8_t chipCode;
  };
  const Row rows[] = {
      {R"({"chip": "KTS260"})", kChipCodeKts260},
      {R"({"chip": "KTS210"})", kChipCodeKts210},
      {R"({"chip": "usb-stick"})", 0},
      {R"({"chip": "internal-disk"})", 0},
      {R"({"chip": {"base": "KTS260", "inquiryChipId": "j260"}})", 22},
      {R"({"chip": {"base": "KTS260", "inquiryChipId": "j133"}})", 9},
      // No identification word: the packed digits of buffer 1.
      {R"({"chip": {"base": "KTS210", "chipIdWord": null}})", kChipCodeKts210},
      {R"({"chip": {"base": "KTS210", "chipIdWord": null, "buffer1": {"offsetBoundary": 2}}})", 0},
      {R"({"chip": {"base": "KTS260", "chipIdWord": [96, 0], "chipInfo": {"signature": [0, 0]}}})", 38},
      {R"({"chip": {"base": "KTS260", "chipInfo": {"productId": "0x5A71"}}})", 39},
      {R"({"chip": {"base": "KTS260", "chipInfo": null, "chipInfoAlt": {"model": "217"}}})", 19},
      {R"({"chip": {"base": "KTS260", "chipInfo": null, "chipInfoAlt": null}})", 0},
      {R"({"chip": {"base": "KTS260", "inquiryChipId": "j131", "legacyId": "j125E000"}})", 34},
      {R"({"chip": {"base": "KTS260", "chipInfo": {"model": "151"}, "b5": true}})", 30},
      {R"({"chip": {"base": "KTS260", "chipInfo": {"model": "151"}, "b5": false}})", 12},
  };
  for (const Row& row : rows) {
    LiveWorld w(OneDevice(row.device));
    EXPECT_EQ(ChipCodeOf(IdentifyChip(w.Path())), row.chipCode) << row.device;
  }
}

TEST(IdentificationAnswers, PathsShowTheBusAndSurviveLowerCasing) {
  LiveWorld w(ParseScenario(R"({"devices": [{"bus": "usb", "chip": "KTS260"}, {"bus": "uas", "chip": "KTS260"},
      {"bus": "1394", "chip": "KTS210"}, {"bus": "internal", "chip": "internal-disk"}]})"));
  const char* expected[] = {"sim/usbstor/0", "sim/scsi/1", "sim/sbp2/2", "sim/ata/3"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(w.Path(i), expected[i]);
  }
  // Upper-cased paths still reach the device.
  std::array<std::uint8_t, 16> info{};
  std::uint32_t count = 0;
  EXPECT_EQ(ReadChipInfo("SIM/USBSTOR/0", info.data(), 16, &count), 1);
  EXPECT_EQ(info[0], 0xF4);
}

TEST(IdentificationAnswers, DiscoveryAdmitsOnlyTheBridge) {
  LiveWorld w("mixed");
  std::array<DevicePathSlot, kScanPathSlots> slots{};
  ASSERT_EQ(EnumBridgeDevices(slots, 1), 1);
  EXPECT_EQ(std::string(slots[0].data()), w.Path(2));
  // The internal disk is never asked anything.
  for (const TraceEntry& entry : w.world.Trace()) EXPECT_NE(entry.path, w.Path(0));
}

TEST(IdentificationAnswers, StatusFlashTypeLegacyIdAndProbe) {
  LiveWorld w(OneDevice(R"({"chip": {"base": "KTS260", "legacyId": "j121C-77", "b5": true}})"));
  SimBridge& b = w.world.Bridge(0);
  auto status = Send(b, {0xFF, 0x04, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2);
  EXPECT_EQ(status.answer.transferred, 2u);
  EXPECT_EQ(status.data, (Block{0, 0}));
  EXPECT_EQ(Send(b, {0xFF, 0x04, 0x23, 0x04, 0, 0, 0, 0, 0, 0, 0, 0}, 4).data, (Block{0xEF, 0x40, 0x15, 0}));
  auto legacy = Send(b, {0xFF, 0x04, 0x30, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}, 40);
  EXPECT_EQ(Block(legacy.data.begin(), legacy.data.begin() + 9), Bytes(std::string_view("j121C-77\0", 9)));
  EXPECT_EQ(Send(b, {0xB5, 0, 0, 0, 0, 0x64, 0, 0, 0x01, 0, 0, 0}, 512).answer.scsiStatus, 0);
  auto word = Send(b, kChipIdWordCdb, 2);
  EXPECT_EQ(word.data, (Block{0x26, 0x00}));
  // Buffer 1: descriptor for 2^9 bytes and the packed model digits at bytes 4-5.
  EXPECT_EQ(Send(b, {0x3C, 0x03, 0x01, 0, 0, 0, 0, 0, 0x04, 0}, 4).data, (Block{9, 0, 0x02, 0}));
  auto buffer1 = Send(b, {0x3C, 0x01, 0x01, 0, 0, 0, 0, 0x02, 0x00, 0}, 512);
  EXPECT_EQ(buffer1.answer.transferred, 512u);
  EXPECT_EQ(buffer1.data[4], 0x02);
  EXPECT_EQ(buffer1.data[5], 0x60);
}

TEST(IdentificationAnswers, RequestSenseReturnsTheLastSenseOnce) {
  LiveWorld w("kts260");
  SimBridge& b = w.world.Bridge(0);
  const Block requestSense = {0x03, 0, 0, 0, 18, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Send(b, {0x3C, 0x01, 0x07, 0, 0, 0, 0, 0, 4, 0}, 4).answer.scsiStatus, 2);
  auto first = Send(b, requestSense, 18);
  EXPECT_EQ(first.answer.transferred, 18u);
  EXPECT_EQ(first.data[0], 0x70);
  EXPECT_EQ(first.data[2], 0x05);
  EXPECT_EQ(first.data[12], 0x24);
  auto second = Send(b, requestSense, 18);
  EXPECT_EQ(second.data[2], 0x00);
  EXPECT_EQ(second.data[12], 0x00);
}

}  // namespace
}  // namespace corvane::sim
