// The gadget's Bulk-Only target against fake pipes and a scripted bridge: what goes over the wire for
// every kind of answer the bridge model can give.
#include <gtest/gtest.h>
#include <ostream>

#include <deque>
#include <string>

#include "tools/usb_gadget/bulk_only.h"

namespace corvane::tools::usb_gadget {
namespace {

using namespace ::corvane::device;

class FakePipes : public BulkEndpoints {
 public:
  std::deque<std::vector<std::uint8_t>> outPackets;  // what the host sends, one entry per transfer
  std::vector<std::string> wire;                     // what the device did, in order
  std::vector<std::uint8_t> lastIn;

  long ReadOut(std::span<std::uint8_t> buffer) override {
    if (outPackets.empty()) return -1;
    auto packet = outPackets.front();
    outPackets.pop_front();
    const std::size_t n = std::min(packet.size(), buffer.size());
    std::copy_n(packet.begin(), n, buffer.begin());
    return static_cast<long>(n);
  }
  long WriteIn(std::span<const std::uint8_t> data) override {
    lastIn.assign(data.begin(), data.end());
    wire.push_back(data.size() == kCswLength && data[0] == 'U' && data[3] == 'S'
                       ? "CSW residue=" + std::to_string(data[8] | data[9] << 8) + " status=" + std::to_string(data[12])
                       : "IN " + std::to_string(data.size()));
    return static_cast<long>(data.size());
  }
  void StallIn() override { wire.push_back("STALL IN"); }
  void StallOut() override { wire.push_back("STALL OUT"); }
};

class ScriptedBridge : public sim::SimBridge {
 public:
  sim::CommandAnswer answer;
  int calls = 0;
  DataDirection seenDirection = DataDirection::In;
  std::vector<std::uint8_t> seenData;
  std::vector<std::uint8_t> seenCdb;

  sim::CommandAnswer Execute(std::span<const std::uint8_t> cdb, DataDirection direction,
                             std::span<std::uint8_t> data) override {
    ++calls;
    seenCdb.assign(cdb.begin(), cdb.end());
    seenDirection = direction;
    seenData.assign(data.begin(), data.end());
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
    return answer;
  }
  std::array<std::uint8_t, 4> FirmwareVersion() const override { return {}; }
  bool RomMode() const override { return false; }
  std::span<const std::uint8_t> Flash() const override { return {}; }
  std::span<const std::uint8_t> Nvram() const override { return {}; }
  void PowerCycle() override {}
};

std::vector<std::uint8_t> Cbw(std::uint32_t tag, std::uint32_t length, bool in, std::vector<std::uint8_t> cdb) {
  std::vector<std::uint8_t> b(kCbwLength, 0);
  b[0] = 'U', b[1] = 'S', b[2] = 'B', b[3] = 'C';
  for (int i = 0; i < 4; ++i) {
    b[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(tag >> (8 * i));
    b[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (8 * i));
  }
  b[12] = in ? 0x80 : 0;
  b[14] = static_cast<std::uint8_t>(cdb.size());
  std::copy(cdb.begin(), cdb.end(), b.begin() + 15);
  return b;
}

sim::CommandAnswer Answer(std::uint8_t status, std::uint32_t transferred, bool timedOut = false, bool unplugged = false) {
  sim::CommandAnswer a;
  a.scsiStatus = status;
  a.transferred = transferred;
  a.timedOut = timedOut;
  a.unplugged = unplugged;
  return a;
}

struct WireCase {
  const char* name;
  std::uint32_t hostLength;
  bool dataIn;
  sim::CommandAnswer answer;
  ServeResult result;
  std::vector<std::string> wire;
};

// Test names and failure messages show the case by its name, not as raw bytes.
void PrintTo(const WireCase& c, std::ostream* out) { *out << c.name; }

class BulkOnlyWire : public testing::TestWithParam<WireCase> {};

TEST_P(BulkOnlyWire, DataPhaseStallAndStatus) {
  const WireCase& c = GetParam();
  FakePipes pipes;
  ScriptedBridge bridge;
  bridge.answer = c.answer;
  std::mutex lock;
  pipes.outPackets.push_back(Cbw(7, c.hostLength, c.dataIn, {0x3C, 0x01, 0, 0, 0, 0, 0, 4, 0, 0}));
  if (!c.dataIn && c.hostLength > 0) {
    // The host's data phase, split across two transfers.
    pipes.outPackets.push_back(std::vector<std::uint8_t>(c.hostLength / 2, 0x11));
    pipes.outPackets.push_back(std::vector<std::uint8_t>(c.hostLength - c.hostLength / 2, 0x22));
  }
  BulkOnlyTarget target(pipes, bridge, lock, 512);
  EXPECT_EQ(target.ServeOne(), c.result);
  EXPECT_EQ(pipes.wire, c.wire);
  EXPECT_EQ(bridge.calls, 1);
  EXPECT_EQ(bridge.seenData.size(), c.hostLength);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BulkOnlyWire,
    testing::Values(
        WireCase{"InComplete", 16, true, Answer(0, 16), ServeResult::Answered, {"IN 16", "CSW residue=0 status=0"}},
        WireCase{"InShortIsStalled", 40, true, Answer(0, 36), ServeResult::Answered,
                 {"IN 36", "STALL IN", "CSW residue=4 status=0"}},
        WireCase{"InMoreThanAskedIsCut", 2, true, Answer(0, 18), ServeResult::Answered, {"IN 2", "CSW residue=0 status=0"}},
        WireCase{"InFailedSendsNoData", 18, true, Answer(2, 0), ServeResult::Answered,
                 {"STALL IN", "CSW residue=18 status=1"}},
        WireCase{"InFailedAfterPartialDataStillSendsNone", 1024, true, Answer(2, 512), ServeResult::Answered,
                 {"STALL IN", "CSW residue=1024 status=1"}},
        WireCase{"NoData", 0, false, Answer(0, 0), ServeResult::Answered, {"CSW residue=0 status=0"}},
        WireCase{"NoDataFailed", 0, false, Answer(2, 0), ServeResult::Answered, {"CSW residue=0 status=1"}},
        WireCase{"OutTakenWhole", 1024, false, Answer(0, 0), ServeResult::Answered, {"CSW residue=0 status=0"}},
        WireCase{"OutFailed", 1024, false, Answer(2, 0), ServeResult::Answered, {"CSW residue=1024 status=1"}},
        WireCase{"NoAnswerSendsNoStatus", 4, true, Answer(0, 0, true), ServeResult::Abandoned, {}},
        WireCase{"UnplugSendsNothing", 1024, false, Answer(0, 0, false, true), ServeResult::Unplugged, {}}),
    [](const testing::TestParamInfo<WireCase>& p) { return p.param.name; });

TEST(BulkOnly, DataOutReachesTheBridgeInOrderAndTagIsEchoed) {
  FakePipes pipes;
  ScriptedBridge bridge;
  std::mutex lock;
  pipes.outPackets.push_back(Cbw(0xCAFE1234, 6, false, {0x3B, 0x0E, 0, 0, 0, 0, 0, 0, 6, 0}));
  pipes.outPackets.push_back({1, 2, 3});
  pipes.outPackets.push_back({4, 5, 6});
  BulkOnlyTarget target(pipes, bridge, lock, 512);
  ASSERT_EQ(target.ServeOne(), ServeResult::Answered);
  EXPECT_EQ(bridge.seenDirection, DataDirection::Out);
  EXPECT_EQ(bridge.seenData, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(bridge.seenCdb.size(), 10u);
  ASSERT_EQ(pipes.lastIn.size(), kCswLength);
  EXPECT_EQ(pipes.lastIn[4] | pipes.lastIn[5] << 8 | pipes.lastIn[6] << 16 | pipes.lastIn[7] << 24, 0xCAFE1234);
}

TEST(BulkOnly, InvalidWrappersStallBothPipesWithoutAskingTheBridge) {
  std::vector<std::vector<std::uint8_t>> bad;
  auto wrongSignature = Cbw(1, 0, false, {0});
  wrongSignature[3] = 'X';
  bad.push_back(wrongSignature);
  auto tooLong = Cbw(1, 0, false, {0});
  tooLong.push_back(0);
  bad.push_back(tooLong);
  auto noCdb = Cbw(1, 0, false, {0});
  noCdb[14] = 0;
  bad.push_back(noCdb);
  auto cdbTooLong = Cbw(1, 0, false, {0});
  cdbTooLong[14] = 17;
  bad.push_back(cdbTooLong);
  for (const auto& packet : bad) {
    FakePipes pipes;
    ScriptedBridge bridge;
    std::mutex lock;
    pipes.outPackets.push_back(packet);
    BulkOnlyTarget target(pipes, bridge, lock, 512);
    EXPECT_EQ(target.ServeOne(), ServeResult::InvalidWrapper);
    EXPECT_EQ(pipes.wire, (std::vector<std::string>{"STALL IN", "STALL OUT"}));
    EXPECT_EQ(bridge.calls, 0);
  }
}

TEST(BulkOnly, PipeGoneWhileWaitingForDataAbandonsTheCommand) {
  FakePipes pipes;
  ScriptedBridge bridge;
  std::mutex lock;
  pipes.outPackets.push_back(Cbw(1, 1024, false, {0x3B}));  // the data phase never comes
  BulkOnlyTarget target(pipes, bridge, lock, 512);
  EXPECT_EQ(target.ServeOne(), ServeResult::PipeGone);
  EXPECT_EQ(bridge.calls, 0);
  EXPECT_TRUE(pipes.wire.empty());
}

}  // namespace
}  // namespace corvane::tools::usb_gadget
