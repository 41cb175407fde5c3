#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "device/bridge_commands.h"
#include "firmware/nvram_rewrite.h"
#include "tests/firmware/firmware_test_support.h"
#include "firmware/chip_profiles.h"

namespace corvane::firmware::testing {
namespace {

using namespace ::corvane::device;

using sim::ChipFamily;
using sim::FaultEffect;
using Block = std::array<std::uint8_t, 512>;

// 24 bytes from offset 200: the three identification fields.
Block BlockWithFields(std::string_view fields) {
  Block block{};
  // The maker's name also stands right before and after the fields; it stays there.
  std::memcpy(block.data() + 192, "QUORVEL ", 8);
  std::memcpy(block.data() + 224, "Quorvel ", 8);
  std::memcpy(block.data() + 200, fields.data(), fields.size());
  return block;
}

struct FieldCase {
  const char* what;
  std::string_view before, after;  // 24 bytes each
};

TEST(NvramRewrite, ReplacesTheMakerNameInEachField) {
  using namespace std::string_view_literals;
  const FieldCase cases[] = {
      {"mixed case", "qUoRvEl NVMe    \0\0\0\0\0\0\0\0"sv, "Corvane NVMe    \0\0\0\0\0\0\0\0"sv},
      {"position 1", "XQUORVEL\0\0\0\0\0\0\0\0QuorvelQ"sv, "XCorvane\0\0\0\0\0\0\0\0CorvaneQ"sv},
      {"zero-led field", "\0Quorvel\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"sv,
       "\0Quorvel\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"sv},
      {"zero inside the name", "QUOR\0VEL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"sv,
       "QUOR\0VEL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"sv},
      {"across two fields", "      QUORVEL         \0\0"sv, "      QUORVEL         \0\0"sv},
      {"every field", "QUORVEL SATA    QUORVELQ"sv, "Corvane SATA    CorvaneQ"sv},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.what);
    sim::DeviceConfig config = Bridge(ChipFamily::Kts210);
    config.nvram = BlockWithFields(c.before);
    SimRig rig(config);
    RecordingForm form(0x13);
    EXPECT_TRUE(RewriteNvramVendorStrings(form, rig.Path(), firmware::kKts210Profile.nvramAddress));
    const auto nvram = rig.Bridge().Nvram();
    EXPECT_TRUE(std::equal(nvram.begin(), nvram.end(), BlockWithFields(c.after).begin()));
    EXPECT_TRUE(rig.host.DebugTexts().empty());
    // Written back once also when no field held the name.
    EXPECT_EQ(Commands(rig.Trace(), 0xDF, 0x01).size(), 1u);
  }
}

// Whole blocks: the status read, then the 512-byte block at the chip's address (read, write with
// sub-code 1, read back). A bridge that stays busy still gets every access.
TEST(NvramRewrite, WaitsForTheBridgeBeforeEachAccessAndSendsTheWholeBlocks) {
  using V = std::vector<std::uint8_t>;
  const V status{0xFF, 0x04, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  struct Row {
    ChipFamily family;
    std::uint32_t address;
    V read, write;
    bool stayBusy;
  };
  const Row rows[] = {
      {ChipFamily::Kts260, 0x11000, {0xDF, 0x10, 0x00, 0x02, 0x00, 0, 0, 0, 0x01, 0x10, 0x00, 0xFA},
       {0xDF, 0x01, 0x00, 0x02, 0x00, 0, 0, 0, 0x01, 0x10, 0x00, 0xFB}, false},
      {ChipFamily::Kts210, 0xD000, {0xDF, 0x10, 0x00, 0x02, 0x00, 0, 0, 0, 0x00, 0xD0, 0x00, 0xFA},
       {0xDF, 0x01, 0x00, 0x02, 0x00, 0, 0, 0, 0x00, 0xD0, 0x00, 0xFB}, false},
      {ChipFamily::Kts260, 0x11000, {0xDF, 0x10, 0x00, 0x02, 0x00, 0, 0, 0, 0x01, 0x10, 0x00, 0xFA},
       {0xDF, 0x01, 0x00, 0x02, 0x00, 0, 0, 0, 0x01, 0x10, 0x00, 0xFB}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.address << (row.stayBusy ? " busy" : ""));
    sim::DeviceConfig config = Bridge(row.family);
    config.stayBusy = row.stayBusy;
    SimRig rig(config);
    RecordingForm form(ChipCodeOf(row.family));
    ASSERT_TRUE(RewriteNvramVendorStrings(form, rig.Path(), row.address));
    std::vector<V> blocks;
    std::vector<std::uint32_t> lengths;
    for (const auto& e : rig.Trace()) {
      if (e.cdb != status) lengths.push_back(e.length);
      if (blocks.empty() || blocks.back() != status || e.cdb != status) blocks.push_back(e.cdb);
    }
    EXPECT_EQ(blocks, (std::vector<V>{status, row.read, status, row.write, status, row.read}));
    EXPECT_EQ(lengths, (std::vector<std::uint32_t>{512, 512, 512}));
    EXPECT_EQ(std::memcmp(rig.Bridge().Nvram().data() + 200, "Corvane ", 8), 0);
  }
}

struct FailureCase {
  sim::Fault fault;
  std::string debugText;
  bool written;  // whether the rebranded block reached the bridge
};

TEST(NvramRewrite, EachFailureIsReportedOnTheDebugChannel) {
  const FailureCase cases[] = {
      {{"ReadChipMemory", 1, 0, FaultEffect::CheckCondition}, "Get NVRAM Fail.", false},
      {{"WriteChipMemory", 1, 0, FaultEffect::CheckCondition}, "Set NVRAM Fail.", false},
      {{"ReadChipMemory", 2, 0, FaultEffect::Timeout}, "Get NVRAM Fail.", true},
      {{"WriteChipMemory", 1, 0, FaultEffect::Ignore}, "Compare Fail.", false},
      {{"ReadChipMemory", 1, 0, FaultEffect::Unplug}, "Get NVRAM Fail.", false},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.fault.command + " " + std::to_string(c.fault.nth));
    SimRig rig(Bridge(ChipFamily::Kts260, false, {c.fault}));
    RecordingForm form(0x16);
    EXPECT_FALSE(RewriteNvramVendorStrings(form, rig.Path(), firmware::kKts260Profile.nvramAddress));
    EXPECT_EQ(rig.host.DebugTexts(), std::vector<std::string>{c.debugText});
    const bool rebranded = std::memcmp(rig.Bridge().Nvram().data() + 200, "Corvane ", 8) == 0;
    EXPECT_EQ(rebranded, c.written);
  }
}

TEST(NvramRewrite, OtherChipsAreReadButNotWritten) {
  SimRig rig(Bridge(ChipFamily::Kts260));
  RecordingForm form(0x05);
  EXPECT_TRUE(RewriteNvramVendorStrings(form, rig.Path(), firmware::kKts260Profile.nvramAddress));
  EXPECT_TRUE(Commands(rig.Trace(), 0xDF, 0x01).empty());
  EXPECT_EQ(Commands(rig.Trace(), 0xDF, 0x10).size(), 1u);
}

}  // namespace
}  // namespace corvane::firmware::testing
