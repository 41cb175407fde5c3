#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "firmware/carried_images.h"
#include "firmware/flash_programming.h"
#include "tests/firmware/firmware_test_support.h"

namespace corvane::firmware::testing {
namespace {

using namespace ::corvane::device;

using sim::ChipFamily;
using sim::FaultEffect;

constexpr std::uint8_t kWriteBuffer = 0x3B, kReadBuffer = 0x3C;

bool FlashHoldsCarriedFirmware(SimRig& rig, ChipFamily family) {
  const ChipProfile* row = FindChipProfile(ChipCodeOf(family));
  const auto image = FindCarriedImage("FW", row->firmwareName).first(row->firmwareArea);
  const auto flash = rig.Bridge().Flash();
  return flash.size() >= image.size() && std::equal(image.begin(), image.end(), flash.begin());
}

struct RunningCase {
  ChipFamily family;
  int blocks;
  std::vector<int> head, tail;  // progress values at the start and end
};

TEST(FlashProgramming, RunningBridgeGetsWholeBlocksAndIsReadBack) {
  const RunningCase cases[] = {
      {ChipFamily::Kts260, 65, {0, 0, 2, 4, 5, 7}, {96, 97, 99, 100}},
      {ChipFamily::Kts210, 49, {0, 0, 3, 5, 7, 9}, {94, 96, 98, 100}},
  };
  for (const RunningCase& c : cases) {
    SCOPED_TRACE(c.blocks);
    SimRig rig(Bridge(c.family));
    RecordingForm form(ChipCodeOf(c.family));
    ASSERT_TRUE(UpdateFirmware(form, rig.Path()));

    const auto writes = Commands(rig.Trace(), kWriteBuffer, 0x0E);
    const auto reads = Commands(rig.Trace(), kReadBuffer, 0x01);
    ASSERT_EQ(writes.size(), static_cast<std::size_t>(c.blocks));
    ASSERT_EQ(reads.size(), static_cast<std::size_t>(c.blocks));
    for (int i = 0; i < c.blocks; ++i) {
      EXPECT_EQ(OffsetOf(writes[i]), i * 1024u);
      EXPECT_EQ(writes[i].length, 1024u);
      EXPECT_EQ(OffsetOf(reads[i]), i * 1024u);
    }
    // ReadChipInfo, descriptor, blocks, descriptor, read-back: nothing else goes out.
    EXPECT_EQ(rig.Trace().size(), 3u + 2u * c.blocks);
    ASSERT_EQ(form.progress.size(), c.blocks + 2u);
    EXPECT_TRUE(std::equal(c.head.begin(), c.head.end(), form.progress.begin()));
    EXPECT_TRUE(std::equal(c.tail.rbegin(), c.tail.rend(), form.progress.rbegin()));
    EXPECT_EQ(form.messages, c.blocks);
    EXPECT_TRUE(FlashHoldsCarriedFirmware(rig, c.family));
  }
}

struct CompareCase {
  std::uint32_t offset;
  bool once;
  bool result;
  std::size_t blocksWritten;
};

TEST(FlashProgramming, ReadBackSkipsOnlyTheRangeTheBridgeRewrites) {
  const CompareCase cases[] = {
      {0x1FF, false, false, 130}, {0x200, false, true, 65}, {0x3FF, false, true, 65},
      {0x400, false, false, 130}, {0x103FF, false, false, 130},
      {0x400, true, true, 130},  // first verify fails, the second attempt succeeds
  };
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(c.offset);
    sim::DeviceConfig config = Bridge(ChipFamily::Kts260);
    config.corruptions = {{c.offset, c.once}};
    SimRig rig(config);
    RecordingForm form(0x16);
    EXPECT_EQ(UpdateFirmware(form, rig.Path()), c.result);
    EXPECT_EQ(Commands(rig.Trace(), kWriteBuffer, 0x0E).size(), c.blocksWritten);
  }
}

struct CapacityCase {
  std::uint32_t capacity;
  bool result;
  std::size_t blocksWritten;
};

// The descriptor's capacity sets how much is sent; it must never take the procedure past the
// image buffer.
TEST(FlashProgramming, CapacitySetsTheBlocksWithinTheImageBuffer) {
  const CapacityCase cases[] = {
      {0, false, 0},            // nothing to write is no success
      {1, false, 2},            // one block, twice: the read-back cannot match the image
      {0x3FF, false, 2},
      {0x103FF, true, 65},      // W - 1: the last block still covers the whole area
      {0x10400, true, 65},      // W
      {0x10401, true, 66},      // rounded up to 512, then whole blocks
      {0x8000, false, 64},      // too small: verify fails, twice 32 blocks
      {0x80000, true, 512},     // the whole image buffer: the image, then zeros
      {0x80001, false, 0},      // more than the image buffer: refused before writing
      {0xFFFFFF, false, 0},
  };
  for (const CapacityCase& c : cases) {
    SCOPED_TRACE(c.capacity);
    sim::DeviceConfig config = Bridge(ChipFamily::Kts260);
    SimRig rig(config);
    rig.port.afterwards = [&](const ScsiRequest& r) {
      if (r.cdb[0] == kReadBuffer && r.cdb[1] == 0x03 && r.data.size() == 4) {
        r.data[1] = static_cast<std::uint8_t>(c.capacity >> 16);
        r.data[2] = static_cast<std::uint8_t>(c.capacity >> 8);
        r.data[3] = static_cast<std::uint8_t>(c.capacity);
      }
    };
    RecordingForm form(0x16);
    EXPECT_EQ(UpdateFirmware(form, rig.Path()), c.result);
    EXPECT_EQ(Commands(rig.Trace(), kWriteBuffer, 0x0E).size(), c.blocksWritten);
  }
  // The same when the bridge itself reports 0: no block is written or read back.
  sim::DeviceConfig config = Bridge(ChipFamily::Kts260);
  config.capacity = 0;
  SimRig rig(config);
  RecordingForm form(0x16);
  EXPECT_FALSE(UpdateFirmware(form, rig.Path()));
  EXPECT_TRUE(Commands(rig.Trace(), kWriteBuffer).empty());
  EXPECT_TRUE(Commands(rig.Trace(), kReadBuffer, 0x01).empty());
}

struct StagingCase {
  const char* what;
  bool romMode;
  std::uint32_t capacity;  // what the code that takes the blocks reports
  bool result;
  std::size_t blocks;      // WRITE BUFFER 0Eh commands in all
  std::uint32_t lastOffset;
  std::uint32_t imageBytesInLast;  // the rest of the last block is zeros
};

// What the block loop sends past the firmware area: a running bridge gets the image buffer as it
// stands (the image's own trailing block, then zeros), the manufacturing code gets zeros after
// the firmware area, and asks for any amount of them.
TEST(FlashProgramming, StagingHoldsTheImageThenZeros) {
  constexpr std::uint32_t kArea = kKts260Profile.firmwareArea;
  const StagingCase cases[] = {
      {"running, capacity past the area", false, 0x10600, true, 66, 0x10400, 512},
      {"boot ROM, capacity past the area", true, 0x10600, true, 66, 0x10400, 0},
      {"boot ROM, capacity below the area", true, 0x8000, false, 32, 0x7C00, 1024},
      // The sim's flash ends at 512 KiB, so each of the three loops fails at the last block.
      {"boot ROM, capacity past the image buffer", true, 0x80400, false, 3 * 513, 0x80000, 0},
  };
  const auto image = FindCarriedImage("FW", "KTS260_V234_01_00_01");
  ASSERT_EQ(image.size(), kArea + 512u);
  for (const StagingCase& c : cases) {
    SCOPED_TRACE(c.what);
    sim::DeviceConfig config = Bridge(ChipFamily::Kts260, c.romMode);
    config.capacity = c.capacity;
    SimRig rig(config);
    std::vector<std::uint8_t> last;
    std::uint32_t lastOffset = 0;
    rig.port.afterwards = [&](const ScsiRequest& r) {
      if (r.cdb[0] != kWriteBuffer || r.cdb[1] != 0x0E) return;
      last.assign(r.data.begin(), r.data.end());
      lastOffset = (std::uint32_t{r.cdb[3]} << 16) | (std::uint32_t{r.cdb[4]} << 8) | r.cdb[5];
    };
    RecordingForm form(0x16);
    EXPECT_EQ(UpdateFirmware(form, rig.Path()), c.result);
    EXPECT_EQ(Commands(rig.Trace(), kWriteBuffer, 0x0E).size(), c.blocks);
    EXPECT_EQ(lastOffset, c.lastOffset);
    ASSERT_EQ(last.size(), 1024u);
    const std::uint32_t fromImage = c.imageBytesInLast;
    EXPECT_TRUE(std::equal(last.begin(), last.begin() + fromImage,
                           image.begin() + static_cast<std::ptrdiff_t>(c.lastOffset)));
    EXPECT_TRUE(std::all_of(last.begin() + fromImage, last.end(),
                            [](std::uint8_t b) { return b == 0; }));
  }
}

TEST(FlashProgramming, BootRomBridgeRunsTheManufacturingImageFirst) {
  SimRig rig(Bridge(ChipFamily::Kts260, /*romMode=*/true));
  std::vector<std::uint8_t> downloaded;
  rig.port.afterwards = [&](const ScsiRequest& r) {
    if (r.cdb[0] == kWriteBuffer && r.cdb[1] == 0x06) downloaded.assign(r.data.begin(), r.data.end());
  };
  RecordingForm form(0x16);
  ASSERT_TRUE(UpdateFirmware(form, rig.Path()));
  const auto manufacturing = FindCarriedImage("MFG", "KTS260_ROM_MFG");
  EXPECT_TRUE(std::equal(downloaded.begin(), downloaded.end(), manufacturing.begin(),
                         manufacturing.end()));
  const auto& t = rig.Trace();
  ASSERT_GE(t.size(), 5u);
  EXPECT_EQ(t[0].cdb[0], 0xE0);
  EXPECT_EQ(t[1].cdb, (std::vector<std::uint8_t>{0x3C, 0x03, 0, 0, 0, 0, 0, 0, 4, 0}));
  EXPECT_EQ(t[2].cdb, (std::vector<std::uint8_t>{0x3B, 0x06, 0, 0, 0, 0, 0x01, 0, 0, 0}));
  EXPECT_EQ(t[2].length, 0x10000u);
  EXPECT_EQ(t[3].cdb,
            (std::vector<std::uint8_t>{0xDF, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB}));
  EXPECT_EQ(t[3].timeoutSeconds, 100u);
  EXPECT_EQ(t[4].cdb[0], kReadBuffer);
  using Sleep = std::pair<std::size_t, std::uint32_t>;
  EXPECT_EQ(rig.host.sleeps, (std::vector<Sleep>{{3, 2000}, {4, 500}}));
  EXPECT_EQ(Commands(t, kWriteBuffer, 0x0E).size(), 65u);
  EXPECT_FALSE(rig.Bridge().RomMode());
  EXPECT_TRUE(FlashHoldsCarriedFirmware(rig, ChipFamily::Kts260));
}

struct BootRomFaultCase {
  const char* what;
  std::vector<sim::Fault> faults;
  bool result;
  std::size_t subCode3, blocks;
};

TEST(FlashProgramming, BootRomPathRetriesFromTheSubCode3Command) {
  auto wb = [](std::uint32_t nth) { return sim::Fault{"WriteBuffer", nth, 0, FaultEffect::CheckCondition}; };
  const BootRomFaultCase cases[] = {
      // The first attempt of UpdateFirmware dies at the download; the second starts afresh.
      {"manufacturing download", {wb(1)}, true, 1, 65},
      {"first block", {wb(2)}, true, 2, 66},
      // Three loops fail; then the bridge runs the manufacturing code, not the boot ROM, so the
      // second attempt of UpdateFirmware finds the wrong descriptor and stops.
      {"every loop", {wb(2), wb(3), wb(4)}, false, 3, 3},
  };
  for (const BootRomFaultCase& c : cases) {
    SCOPED_TRACE(c.what);
    SimRig rig(Bridge(ChipFamily::Kts260, true, c.faults));
    RecordingForm form(0x16);
    EXPECT_EQ(UpdateFirmware(form, rig.Path()), c.result);
    EXPECT_EQ(Commands(rig.Trace(), 0xDF, 0x03).size(), c.subCode3);
    EXPECT_EQ(Commands(rig.Trace(), kWriteBuffer, 0x0E).size(), c.blocks);
  }
}

TEST(FlashProgramming, BootRomRefusalsSendNoData) {
  {  // A KTS210 carries no manufacturing image: both attempts stop after the descriptor.
    SimRig rig(Bridge(ChipFamily::Kts210, true));
    RecordingForm form(0x13);
    EXPECT_FALSE(UpdateFirmware(form, rig.Path()));
    EXPECT_EQ(rig.Trace().size(), 3u);
    EXPECT_TRUE(Commands(rig.Trace(), kWriteBuffer).empty());
  }
  {  // A boot ROM reporting another capacity than the manufacturing image needs.
    SimRig rig(Bridge(ChipFamily::Kts260, true));
    rig.port.afterwards = [](const ScsiRequest& r) {
      if (r.cdb[0] == kReadBuffer && r.data.size() == 4) r.data[1] = 0x02;
    };
    RecordingForm form(0x16);
    EXPECT_FALSE(UpdateFirmware(form, rig.Path()));
    EXPECT_TRUE(Commands(rig.Trace(), kWriteBuffer).empty());
  }
}

// Each place that reads the descriptor takes only its one offset boundary: 0x0A from running code,
// 0xFF from the boot ROM. Any other byte stops before the next data is sent.
TEST(FlashProgramming, AnyOtherOffsetBoundaryStopsBeforeData) {
  struct Row {
    const char* where;
    bool romMode;
    int descriptorRead;  // which descriptor read of the call answers with `boundary`
    std::uint8_t boundary;
    bool readBack;       // ReadBackFlash rather than the writer
  };
  const Row rows[] = {
      {"running writer", false, 1, 0x0B, false},   {"running writer", false, 1, 0x09, false},
      {"boot ROM writer", true, 1, 0xFE, false},   {"after sub-code 3", true, 2, 0x0B, false},
      {"after sub-code 3", true, 2, 0xFF, false},  {"read-back", false, 1, 0x0B, true},
      {"read-back", false, 1, 0xFF, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.where << " 0x" << std::hex << int{row.boundary});
    SimRig rig(Bridge(ChipFamily::Kts260, row.romMode));
    int reads = 0;
    rig.port.afterwards = [&](const ScsiRequest& r) {
      if (r.cdb[0] == kReadBuffer && r.cdb[1] == 0x03 && ++reads == row.descriptorRead) {
        r.data[0] = row.boundary;
      }
    };
    RecordingForm form(0x16);
    std::vector<std::uint8_t> image(kMaxImageSize);
    if (row.readBack) {
      EXPECT_FALSE(ReadBackFlash(rig.Path(), 0, image.data(), 0x10600));
      EXPECT_TRUE(Commands(rig.Trace(), kReadBuffer, 0x01).empty());
    } else {
      EXPECT_FALSE(WriteNvmeBridgeFlash(form, rig.Path(), 0, image.data(),
                                        kKts260Profile.firmwareArea, row.romMode));
      EXPECT_TRUE(Commands(rig.Trace(), kWriteBuffer, 0x0E).empty());
    }
  }
}

// Of the chip information read at the start only byte 6 counts, not even the signature.
TEST(FlashProgramming, TheChipInformationDecidesOnlyTheMode) {
  SimRig rig(Bridge(ChipFamily::Kts260));
  rig.port.afterwards = [](const ScsiRequest& r) {
    if (r.cdb[0] == 0xE0) r.data[0] = r.data[1] = 0;
  };
  RecordingForm form(0x16);
  EXPECT_TRUE(UpdateFirmware(form, rig.Path()));
}

TEST(FlashProgramming, FailuresBeforeTheWriterSendNothingMore) {
  const std::pair<std::uint8_t, std::vector<sim::Fault>> cases[] = {
      {0x16, {{"ReadChipInfo", 1, 0, FaultEffect::CheckCondition}}},  // no chip information
      {0x05, {}},  // a chip this tool does not update: nothing after ReadChipInfo
  };
  for (const auto& [chip, faults] : cases) {
    SimRig rig(Bridge(ChipFamily::Kts260, false, faults));
    RecordingForm form(chip);
    EXPECT_FALSE(UpdateFirmware(form, rig.Path()));
    ASSERT_EQ(rig.Trace().size(), 1u);
    EXPECT_EQ(rig.Trace()[0].cdb[0], 0xE0);
  }
}

TEST(FlashProgramming, FailedBlockEndsTheWriterAndTheSecondAttemptStartsAgain) {
  SimRig rig(Bridge(ChipFamily::Kts260, false, {{"WriteBuffer", 4, 0, FaultEffect::CheckCondition}}));
  RecordingForm form(0x16);
  EXPECT_FALSE(WriteNvmeBridgeFlash(form, rig.Path(), 0, std::vector<std::uint8_t>(kMaxImageSize).data(),
                                    kKts260Profile.firmwareArea, false));
  const auto& t = rig.Trace();
  EXPECT_EQ(Commands(t, kWriteBuffer).size(), 4u);
  EXPECT_EQ(t.back().cdb[0], 0x03);  // the failed block's sense is fetched, then nothing more
  EXPECT_EQ(form.progress.back(), 100);
  EXPECT_TRUE(UpdateFirmware(form, rig.Path()));
}

struct WriterExitCase {
  const char* what;
  sim::ChipFamily family;
  bool bridgeInBootRom;
  bool romMode;  // what the writer is told
  std::vector<sim::Fault> faults;
  std::vector<int> progress;  // everything the writer put on the progress bar
};

// The bar goes to 100 only once something was sent that can fail half-way (the manufacturing
// image or the blocks); a refusal before that leaves it at 0.
TEST(FlashProgramming, WriterSetsProgress100OnlyAfterSending) {
  auto fault = [](const char* command, std::uint32_t nth) {
    return sim::Fault{command, nth, 0, FaultEffect::CheckCondition};
  };
  const WriterExitCase cases[] = {
      {"descriptor read fails", ChipFamily::Kts260, false, false, {fault("ReadBuffer", 1)}, {0}},
      {"boot ROM expected, bridge runs", ChipFamily::Kts260, false, true, {}, {0}},
      {"firmware expected, boot ROM runs", ChipFamily::Kts260, true, false, {}, {0}},
      {"no manufacturing image", ChipFamily::Kts210, true, true, {}, {0}},
      {"manufacturing download fails", ChipFamily::Kts260, true, true,
       {fault("WriteBuffer", 1)}, {0, 100}},
      {"sub-code 3 fails", ChipFamily::Kts260, true, true, {fault("WriteChipMemory", 1)}, {0}},
      {"descriptor after sub-code 3 fails", ChipFamily::Kts260, true, true,
       {fault("ReadBuffer", 2)}, {0}},
      {"first block fails", ChipFamily::Kts260, false, false, {fault("WriteBuffer", 1)},
       {0, 100}},
  };
  for (const WriterExitCase& c : cases) {
    SCOPED_TRACE(c.what);
    SimRig rig(Bridge(c.family, c.bridgeInBootRom, c.faults));
    RecordingForm form(ChipCodeOf(c.family));
    std::vector<std::uint8_t> image(kMaxImageSize);
    const bool written =
        c.family == ChipFamily::Kts260
            ? WriteNvmeBridgeFlash(form, rig.Path(), 0, image.data(), kKts260Profile.firmwareArea, c.romMode)
            : WriteSataBridgeFlash(form, rig.Path(), 0, image.data(), kKts210Profile.firmwareArea, c.romMode,
                                   0);
    EXPECT_FALSE(written);
    EXPECT_EQ(form.progress, c.progress);
  }
}

// A build with placeholder images never writes them into a real bridge.
TEST(FlashProgramming, PlaceholderImagesAreRefusedForARealDevice) {
  if (!CarriesPlaceholderImages()) GTEST_SKIP() << "real images carried";
  SimRig rig(Bridge(ChipFamily::Kts260));
  EXPECT_FALSE(PlaceholderImagesBlockWrite());
  rig.port.simulated = false;
  EXPECT_TRUE(PlaceholderImagesBlockWrite());
  RecordingForm form(0x16);
  EXPECT_FALSE(UpdateFirmware(form, rig.Path()));
  std::vector<std::uint8_t> image(kMaxImageSize);
  EXPECT_FALSE(WriteNvmeBridgeFlash(form, rig.Path(), 0, image.data(), kKts260Profile.firmwareArea, false));
  EXPECT_FALSE(WriteSataBridgeFlash(form, rig.Path(), 0, image.data(), kKts210Profile.firmwareArea, true, 0));
  // Bytes an adaptor gave, onto a bridge that runs its firmware: such a build is not trusted either.
  EXPECT_FALSE(WriteOwnFirmwareArea(form, rig.Path(), 0x16, image.data(), kKts260Profile.firmwareArea, false));
  EXPECT_TRUE(rig.Trace().empty());
  EXPECT_EQ(rig.host.DebugTexts(), std::vector<std::string>(4, std::string(kPlaceholderRefusedText)));
}

}  // namespace
}  // namespace corvane::firmware::testing
