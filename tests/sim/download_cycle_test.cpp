// The bridge's memory: descriptor, download with offsets, read-back, activation of what was
// written, the boot ROM's manufacturing step, and NVRAM through chip memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "device/bridge_commands.h"
#include "firmware/carried_images.h"
#include "tests/sim/sim_test_support.h"
#include "firmware/chip_profiles.h"

namespace corvane::sim {
namespace {

using namespace ::corvane::device;
using namespace ::corvane::firmware;

using testing::LiveWorld;
using testing::OneDevice;
using testing::Send;
using Block = std::vector<std::uint8_t>;

std::array<std::uint8_t, 4> Descriptor(const std::string& path) {
  std::array<std::uint8_t, 4> d{};
  EXPECT_EQ(ReadBuffer(path, 0x03, 0, 0, d.data(), 4), 1);
  return d;
}

std::array<std::uint8_t, 16> ChipInfoOf(const std::string& path) {
  std::array<std::uint8_t, 16> info{};
  std::uint32_t count = 0;
  EXPECT_EQ(ReadChipInfo(path, info.data(), 16, &count), 1);
  return info;
}

// Sends `bytes` in 1024-byte WRITE BUFFER blocks (mode 0x0E) from offset 0; false at the first
// refused block.
bool Download(const std::string& path, std::span<const std::uint8_t> bytes, std::uint32_t count) {
  std::vector<std::uint8_t> staging(count, 0);
  std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), count), staging.begin());
  for (std::uint32_t offset = 0; offset < count; offset += 1024) {
    if (WriteBuffer(path, 0, 0x0E, staging.data() + offset, offset, 1024) != 1) return false;
  }
  return true;
}

Block ReadFlashBack(const std::string& path, std::uint32_t count) {
  Block out(count, 0);
  for (std::uint32_t offset = 0; offset < count; offset += 1024) {
    EXPECT_EQ(ReadBuffer(path, 0x01, 0, offset, out.data() + offset, 1024), 1) << offset;
  }
  return out;
}

std::span<const std::uint8_t> NvmeImage() { return FindCarriedImage("FW", "KTS260_V234_01_00_01"); }
std::span<const std::uint8_t> SataImage() { return FindCarriedImage("FW", "KTS210_FW"); }

TEST(DownloadCycle, DescriptorOfEachState) {
  struct Row {
    std::string device;
    std::array<std::uint8_t, 4> expected;
  };
  const Row rows[] = {
      {R"({"chip": "KTS260"})", {0x0A, 0x01, 0x04, 0x00}},
      {R"({"chip": "KTS210"})", {0x0A, 0x00, 0xC4, 0x00}},
      {R"({"chip": "KTS260", "romMode": true})", {0xFF, 0x01, 0x00, 0x00}},
      {R"({"chip": "KTS210", "romMode": true})", {0xFF, 0x00, 0xC4, 0x00}},
      {R"({"chip": "KTS260", "descriptor": {"offsetBoundary": 9, "capacity": "0x8000"}})",
       {0x09, 0x00, 0x80, 0x00}},
      // The boot ROM's descriptor does not depend on the firmware's.
      {R"({"chip": "KTS260", "romMode": true, "descriptor": {"capacity": 4096}})",
       {0xFF, 0x01, 0x00, 0x00}},
  };
  for (const Row& row : rows) {
    LiveWorld w(OneDevice(row.device));
    EXPECT_EQ(Descriptor(w.Path()), row.expected) << row.device;
  }
}

TEST(DownloadCycle, WholeNvmeImageActivatesTheCarriedVersion) {
  ASSERT_EQ(NvmeImage().size(), 0x10600u);
  LiveWorld w("kts260");
  ASSERT_TRUE(Download(w.Path(), NvmeImage(), 0x10400));
  const auto info = ChipInfoOf(w.Path());
  EXPECT_NE(info[6], 0);
  EXPECT_EQ((Block{info[12], info[13], info[14], info[15]}), (Block{234, 1, 0, 1}));
  EXPECT_FALSE(w.world.Bridge(0).RomMode());
  const Block area(NvmeImage().begin(), NvmeImage().begin() + 0x10400);
  EXPECT_EQ(ReadFlashBack(w.Path(), 0x10400), area);
  EXPECT_TRUE(std::equal(area.begin(), area.end(), w.world.Bridge(0).Flash().begin()));
}

TEST(DownloadCycle, SataVersionComesFromWhatWasWritten) {
  struct Row {
    const char* what;
    Block image;
    std::array<std::uint8_t, 4> version;
  };
  Block carried(SataImage().begin(), SataImage().end());
  Block other = carried;
  other[0x1000] ^= 0x01;  // not the carried firmware any more; its header still says "0103"
  Block digits = carried;
  std::copy_n("0105", 4, digits.begin() + 25);
  const Row rows[] = {
      {"carried image", carried, {0, 2, 1, 4}},
      {"changed body", other, {0, 1, 0, 3}},
      {"other header version", digits, {0, 1, 0, 5}},
  };
  for (const Row& row : rows) {
    LiveWorld w("kts210");
    ASSERT_TRUE(Download(w.Path(), row.image, 0xC400)) << row.what;
    EXPECT_EQ(w.world.Bridge(0).FirmwareVersion(), row.version) << row.what;
  }
}

TEST(DownloadCycle, VersionStaysUntilTheWholeAreaArrives) {
  LiveWorld w("kts260");
  ASSERT_TRUE(Download(w.Path(), NvmeImage(), 0x10000));  // the last block is missing
  EXPECT_EQ(w.world.Bridge(0).FirmwareVersion(), (std::array<std::uint8_t, 4>{0, 1, 0, 8}));
  // The block that closes the area activates, whatever order the blocks came in.
  ASSERT_EQ(WriteBuffer(w.Path(), 0, 0x0E, NvmeImage().data() + 0x10000, 0x10000, 1024), 1);
  EXPECT_EQ(w.world.Bridge(0).FirmwareVersion(), (std::array<std::uint8_t, 4>{234, 1, 0, 1}));
}

TEST(DownloadCycle, PowerLossDuringDownloadLeavesTheBootRomRunning) {
  struct Row {
    const char* what;
    std::uint32_t blocksWritten;
    bool romAfter;
  };
  const Row rows[] = {
      {"no download", 0, false},
      {"one block", 1, true},
      {"all but one block", 64, true},
      {"complete download", 65, false},
  };
  for (const Row& row : rows) {
    LiveWorld w("kts260");
    ASSERT_TRUE(Download(w.Path(), NvmeImage(), row.blocksWritten * 1024)) << row.what;
    w.world.Replug(0);
    EXPECT_EQ(w.world.Bridge(0).RomMode(), row.romAfter) << row.what;
    EXPECT_EQ(ChipInfoOf(w.Path())[6] == 0, row.romAfter) << row.what;
    EXPECT_EQ(Descriptor(w.Path())[0], row.romAfter ? 0xFF : 0x0A) << row.what;
  }
}

TEST(DownloadCycle, BootRomTakesTheManufacturingCodeThenTheFirmware) {
  LiveWorld w("kts260-rom");
  const std::string path = w.Path();
  const auto mfg = FindCarriedImage("MFG", "KTS260_ROM_MFG");
  ASSERT_EQ(mfg.size(), 0x10000u);
  // The boot ROM neither programs flash nor starts code it does not hold.
  Block block(1024, 0x11);
  EXPECT_EQ(WriteBuffer(path, 0, 0x0E, block.data(), 0, 1024), 0);
  EXPECT_EQ(WriteChipMemory(path, 0, nullptr, 0, 3), 0);
  Block readBack(1024);
  EXPECT_EQ(ReadBuffer(path, 0x01, 0, 0, readBack.data(), 1024), 0);

  ASSERT_EQ(WriteBuffer(path, 0, 0x06, mfg.data(), 0, 0x10000), 1);
  EXPECT_EQ(Descriptor(path), (std::array<std::uint8_t, 4>{0xFF, 0x01, 0x00, 0x00}));
  ASSERT_EQ(WriteChipMemory(path, 0, nullptr, 0, 3), 1);
  EXPECT_EQ(Descriptor(path), (std::array<std::uint8_t, 4>{0x0A, 0x01, 0x04, 0x00}));
  EXPECT_EQ(ChipInfoOf(path)[6], 0);  // the manufacturing code is not the firmware

  ASSERT_TRUE(Download(path, NvmeImage(), 0x10400));
  const auto info = ChipInfoOf(path);
  EXPECT_NE(info[6], 0);
  EXPECT_EQ((Block{info[12], info[13], info[14], info[15]}), (Block{234, 1, 0, 1}));
  w.world.Replug(0);
  EXPECT_FALSE(w.world.Bridge(0).RomMode());
}

TEST(DownloadCycle, ManufacturingCodeIsLostOnPowerCycle) {
  LiveWorld w("kts260-rom");
  const auto mfg = FindCarriedImage("MFG", "KTS260_ROM_MFG");
  ASSERT_EQ(WriteBuffer(w.Path(), 0, 0x06, mfg.data(), 0, 0x10000), 1);
  ASSERT_EQ(WriteChipMemory(w.Path(), 0, nullptr, 0, 3), 1);
  w.world.Replug(0);
  EXPECT_EQ(Descriptor(w.Path())[0], 0xFF);
  EXPECT_EQ(WriteChipMemory(w.Path(), 0, nullptr, 0, 3), 0);
}

TEST(DownloadCycle, BadOffsetsAndLengthsAreRefused) {
  struct Row {
    const char* what;
    const char* device;
    Block cdb;
    std::size_t length;
    DataDirection direction;
  };
  const DataDirection in = DataDirection::In;
  const DataDirection out = DataDirection::Out;
  const Row rows[] = {
      {"offset off the boundary", "KTS260", {0x3B, 0x0E, 0, 0, 0x02, 0x00, 0, 0x04, 0x00, 0}, 1024, out},
      {"past the flash", "KTS260", {0x3B, 0x0E, 0, 0x08, 0x00, 0x00, 0, 0x04, 0x00, 0}, 1024, out},
      {"more than the data phase", "KTS260", {0x3B, 0x0E, 0, 0, 0, 0, 0, 0x08, 0x00, 0}, 1024, out},
      {"buffer id 2", "KTS260", {0x3B, 0x0E, 0x02, 0, 0, 0, 0, 0x04, 0x00, 0}, 1024, out},
      {"write mode 2", "KTS260", {0x3B, 0x02, 0, 0, 0, 0, 0, 0x04, 0x00, 0}, 1024, out},
      {"read past the flash", "KTS260", {0x3C, 0x01, 0, 0x08, 0x00, 0x00, 0, 0x04, 0x00, 0}, 1024, in},
      {"read off the boundary", "KTS260", {0x3C, 0x01, 0, 0, 0x00, 0x10, 0, 0x04, 0x00, 0}, 1024, in},
      {"NVRAM of the other chip", "KTS260", {0xDF, 0x10, 0, 0x02, 0, 0, 0, 0, 0, 0xD0, 0, 0xFA}, 512, in},
      {"NVRAM overrun", "KTS210", {0xDF, 0x10, 0, 0x02, 0x01, 0, 0, 0, 0, 0xD0, 0, 0xFA}, 513, in},
      {"NVRAM tail overrun", "KTS210", {0xDF, 0x10, 0, 0, 0x10, 0, 0, 0, 0, 0xD1, 0xF8, 0xFA}, 16, in},
      {"zero-length read", "KTS210", {0xDF, 0x10, 0, 0, 0, 0, 0, 0, 0, 0xD0, 0, 0xFA}, 0, in},
      {"unknown sub-code", "KTS210", {0xDF, 0x05, 0, 0x02, 0, 0, 0, 0, 0, 0xD0, 0, 0xFB}, 512, out},
      {"read sent as data-out", "KTS260", {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 16, out},
  };
  for (const Row& row : rows) {
    LiveWorld w(OneDevice(std::string(R"({"chip": ")") + row.device + "\"}"));
    const auto before = Block(w.world.Bridge(0).Flash().begin(), w.world.Bridge(0).Flash().end());
    auto e = Send(w.world.Bridge(0), row.cdb, row.length, row.direction, Block(row.length, 0x5A));
    EXPECT_EQ(e.answer.scsiStatus, 2) << row.what;
    EXPECT_EQ(e.answer.sense[2], 0x05) << row.what;
    EXPECT_TRUE(std::equal(before.begin(), before.end(), w.world.Bridge(0).Flash().begin())) << row.what;
  }
}

TEST(DownloadCycle, NvramBlockReadAndWrittenThroughChipMemory) {
  struct Row {
    const char* scenario;
    std::uint32_t address;
    const char* productWord;
  };
  const Row rows[] = {{"kts260", firmware::kKts260Profile.nvramAddress, "NVMe    "}, {"kts210", firmware::kKts210Profile.nvramAddress, "SATA    "}};
  for (const Row& row : rows) {
    LiveWorld w(row.scenario);
    Block block(512, 0);
    ASSERT_EQ(ReadChipMemory(w.Path(), row.address, block.data(), 512), 1) << row.scenario;
    const std::string text(block.begin(), block.end());
    EXPECT_EQ(text.substr(200, 8), "Quorvel ") << row.scenario;
    EXPECT_EQ(text.substr(208, 8), row.productWord) << row.scenario;
    EXPECT_EQ(text.substr(216, 8), std::string(8, '\0')) << row.scenario;
    // The maker's name also stands outside the identification fields.
    EXPECT_NE(text.substr(0, 200).find("Quorvel"), std::string::npos) << row.scenario;
    EXPECT_EQ(text.substr(224).find("Quorvel"), std::string::npos) << row.scenario;

    std::copy_n("Corvane", 7, block.begin() + 200);
    ASSERT_EQ(WriteChipMemory(w.Path(), row.address, block.data(), 512, 1), 1) << row.scenario;
    Block again(512, 0);
    ASSERT_EQ(ReadChipMemory(w.Path(), row.address, again.data(), 512), 1) << row.scenario;
    EXPECT_EQ(again, block) << row.scenario;
    EXPECT_TRUE(std::equal(block.begin(), block.end(), w.world.Bridge(0).Nvram().begin()));
  }
}

TEST(DownloadCycle, NvramFieldsFromTheScenario) {
  LiveWorld w(OneDevice(R"({"chip": "KTS260", "nvram": {"field1": "x", "field3": "QUORVEL"}})"));
  const auto nvram = w.world.Bridge(0).Nvram();
  const std::string text(nvram.begin(), nvram.end());
  EXPECT_EQ(text.substr(200, 8), std::string("x\0\0\0\0\0\0\0", 8));
  EXPECT_EQ(text.substr(208, 8), "NVMe    ");
  EXPECT_EQ(text.substr(216, 8), std::string("QUORVEL\0", 8));
}

TEST(DownloadCycle, BusyFlagOnVirtualTime) {
  struct Row {
    const char* device;
    int ready;
    std::uint64_t minMs;
    std::uint64_t maxMs;
  };
  const Row rows[] = {
      {R"({"chip": "KTS260"})", 1, 0, 0},
      {R"({"chip": "KTS260", "busyMs": 200})", 1, 200, 220},
      {R"({"chip": "KTS260", "stayBusy": true})", 0, 5000, 5000},
  };
  for (const Row& row : rows) {
    LiveWorld w(OneDevice(row.device));
    EXPECT_EQ(WaitBridgeReady(w.Path()), row.ready) << row.device;
    EXPECT_GE(w.clock.NowMs(), row.minMs) << row.device;
    EXPECT_LE(w.clock.NowMs(), row.maxMs) << row.device;
  }
  // Plug-in starts the busy time again.
  LiveWorld w(OneDevice(R"({"chip": "KTS260", "busyMs": 100})"));
  w.clock.AdvanceMs(1000);
  std::array<std::uint8_t, 1> status{};
  ASSERT_EQ(ReadBridgeStatus(w.Path(), status.data()), 1);
  EXPECT_EQ(status[0], 0);
  w.world.Replug(0);
  ASSERT_EQ(ReadBridgeStatus(w.Path(), status.data()), 1);
  EXPECT_EQ(status[0], 1);
}

}  // namespace
}  // namespace corvane::sim
