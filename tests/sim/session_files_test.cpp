// The virtual adaptors' state between runs, and recordings: what a replay answers and how it
// names the first difference.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "device/bridge_commands.h"
#include "firmware/chip_profiles.h"
#include "sim/recording.h"
#include "sim/saved_json.h"
#include "tests/sim/sim_test_support.h"
#include "sim/world_state.h"

namespace corvane::sim {
namespace {

using ::testing::HasSubstr;
using namespace testing;

// A flash block and an NVRAM block written, the disk touched, fault counters moved: all of it
// must be back after a save and a load into a fresh world of the same scenario.
TEST(WorldState, WhatABridgeHoldsSurvivesASaveAndALoad) {
  std::string saved;
  {
    LiveWorld w("two");
    const std::string path = w.Path(1);
    std::vector<std::uint8_t> block(1024, 0x5A);
    ASSERT_EQ(WriteBuffer(path, 0, 0x0E, block.data(), 0x400, 1024), 1);
    std::vector<std::uint8_t> nvram(512, 0x11);
    ASSERT_EQ(WriteChipMemory(path, firmware::kKts260Profile.nvramAddress, nvram.data(), 512, 1), 1);
    std::vector<std::uint8_t> sector(512, 0x77);
    Send(w.world.Bridge(0), {0x2A, 0, 0, 0, 0, 7, 0, 0, 1, 0}, 512, DataDirection::Out, sector);
    w.clock.AdvanceMs(1234);
    saved = SaveWorldState(w.world, w.clock);
  }
  VirtualClock clock;
  SimWorld again(*BuiltInScenario("two"), clock);
  LoadWorldState(again, clock, saved);
  EXPECT_EQ(clock.NowMs(), 1234u);
  EXPECT_EQ(SaveWorldState(again, clock), saved);
  EXPECT_EQ(again.Bridge(1).Flash()[0x400], 0x5A);
  EXPECT_EQ(again.Bridge(1).Nvram()[0], 0x11);
  EXPECT_EQ(again.Bridge(1).SaveState().kindCounts.at("WriteBuffer"), 1u);
}

// An adaptor pulled out half-way through a download is plugged in again before the next run and
// comes up in its boot ROM; the fault that pulled it out has fired and does not fire again.
TEST(WorldState, AnAdaptorPulledOutComesBackInItsBootRom) {
  std::string saved;
  {
    LiveWorld w("kts260-unplug");
    std::vector<std::uint8_t> block(1024, 0);
    int written = 0;
    for (std::uint32_t n = 0; n < 20; ++n) written += WriteBuffer(w.Path(), 0, 0x0E, block.data(), n * 1024, 1024);
    EXPECT_EQ(written, 19);
    ASSERT_FALSE(w.world.IsPlugged(0));
    saved = SaveWorldState(w.world, w.clock);
  }
  VirtualClock clock;
  SimWorld again(*BuiltInScenario("kts260-unplug"), clock);
  LoadWorldState(again, clock, saved);
  EXPECT_TRUE(again.IsPlugged(0));
  EXPECT_TRUE(again.Bridge(0).RomMode());
  EXPECT_EQ(again.Bridge(0).SaveState().faultFired, std::vector<bool>{true});
}

TEST(WorldState, AFileOfAnotherScenarioOrAMistakeIsRefusedByName) {
  VirtualClock clock;
  SimWorld kts260(*BuiltInScenario("kts260"), clock);
  const std::string good = SaveWorldState(kts260, clock);
  auto edited = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  struct Row {
    const char* scenario;
    std::string text;
    const char* message;
  };
  const Row rows[] = {
      {"two", good, "saved for 1 devices, but the scenario has 2"},
      {"uas", good, "saved for sim/usbstor/0, but the scenario's device is sim/scsi/0"},
      {"kts210", good, "does not fit this device"},
      {"kts260-unplug", good, "does not fit this device"},
      {"kts260", "{", "not valid JSON"},
      {"kts260", edited("\"version\": 1", "\"version\": 2"), "version: this tool reads version 1"},
      {"kts260", edited("\"run\": \"firmware\"", "\"run\": \"asleep\""), "devices[0].run: must be"},
      {"kts260", edited("\"nvram\": \"", "\"nvram\": \"zz"), "devices[0].nvram: holds 'z'"},
      {"kts260", edited("\"plugged\": true", "\"plugged\": true, \"colour\": 1"),
       "devices[0]: unknown key \"colour\""},
  };
  for (const Row& row : rows) {
    VirtualClock c;
    SimWorld world(*BuiltInScenario(row.scenario), c);
    try {
      LoadWorldState(world, c, row.text);
      ADD_FAILURE() << "accepted: " << row.message;
    } catch (const ScenarioError& e) {
      EXPECT_THAT(e.what(), HasSubstr(row.message));
    }
  }
}

// ---- recordings ----

struct Sent {
  std::string path;
  std::vector<std::uint8_t> cdb;
  DataDirection direction = DataDirection::In;
  std::vector<std::uint8_t> data;  // the data-out bytes, or a data-in buffer of this size
  std::uint32_t timeout = 10;
};

ScsiOutcome SendTo(ScsiPort& port, Sent& s) {
  std::vector<std::uint8_t> record(1068);
  ScsiRequest request;
  request.cdb = s.cdb;
  request.direction = s.direction;
  request.data = s.data;
  request.timeoutSeconds = s.timeout;
  request.record = record;
  return port.Execute(s.path, request);
}

// A short session on a virtual KTS260: the disk list, an INQUIRY, an NVRAM read and write, and a
// command to a path that is gone.
std::vector<Sent> Session() {
  return {
      {"sim/usbstor/0", {0x12, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0}, DataDirection::In,
       std::vector<std::uint8_t>(40)},
      {"sim/usbstor/0", {0xDF, 0x10, 0x00, 0x01, 0x10, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0xFA},
       DataDirection::In, std::vector<std::uint8_t>(512)},
      {"sim/usbstor/0", {0xDF, 0x01, 0x00, 0x01, 0x10, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0xFB},
       DataDirection::Out, std::vector<std::uint8_t>(512, 0x42)},
      {"sim/usbstor/9", {0x00, 0, 0, 0, 0, 0}, DataDirection::In, {}},
  };
}

Recording RecordSession() {
  VirtualClock clock;
  SimHost host(clock);
  SimWorld world(*BuiltInScenario("kts260"), clock);
  Recorder recorder(world.MakePlatform(host), "test");
  const Platform platform = recorder.MakePlatform();
  std::vector<DiskInterface> disks;
  platform.disks->ListDiskInterfaces(disks);
  for (Sent& s : Session()) SendTo(*platform.port, s);
  // Through the file format, as a replay reads it.
  return ParseRecording(RecordingText(recorder.Recorded()));
}

TEST(Replay, TheSameRunGetsTheRecordedAnswersAndNothingElse) {
  const Recording recorded = RecordSession();
  ASSERT_EQ(recorded.steps.size(), 5u);
  EXPECT_TRUE(recorded.simulated);
  EXPECT_FALSE(recorded.steps[4].outcome.opened);

  Replayer replay(recorded);
  VirtualClock clock;
  SimHost host(clock);
  const Platform platform = replay.MakePlatform(host);
  std::vector<DiskInterface> disks;
  ASSERT_TRUE(platform.disks->ListDiskInterfaces(disks));
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(disks[0].path, "sim/usbstor/0");
  EXPECT_TRUE(platform.port->IsSimulated());
  std::vector<Sent> session = Session();
  for (std::size_t i = 0; i < session.size(); ++i) {
    const RecordedStep& step = recorded.steps[i + 1];
    // What came back the first time; the buffer is full of junk before, as a real one may be.
    if (session[i].direction == DataDirection::In) std::fill(session[i].data.begin(), session[i].data.end(), 0xEE);
    const ScsiOutcome outcome = SendTo(*platform.port, session[i]);
    EXPECT_EQ(outcome.opened, step.outcome.opened) << i;
    EXPECT_EQ(outcome.transferred, step.outcome.transferred) << i;
    if (session[i].direction == DataDirection::In) {
      std::vector<std::uint8_t> expected = step.dataIn;
      expected.resize(session[i].data.size(), 0);
      EXPECT_EQ(session[i].data, expected) << i;
    }
  }
  EXPECT_EQ(replay.Verdict(), std::nullopt);
}

TEST(Replay, TheFirstDifferenceStopsTheRunAndIsNamed) {
  const Recording recorded = RecordSession();
  struct Row {
    const char* what;
    std::function<void(std::vector<Sent>&)> change;
    const char* message;
  };
  const Row rows[] = {
      {"command block", [](auto& s) { s[1].cdb[3] = 0x02; },
       "step 3, a command to sim/usbstor/0: the command block: the run sent df 10 00 02 10"},
      {"path", [](auto& s) { s[0].path = "sim/usbstor/1"; },
       "step 2, a command to sim/usbstor/1: the path: the run sent sim/usbstor/1, the recording has sim/usbstor/0"},
      {"length", [](auto& s) { s[0].data.resize(36); },
       "the data length: the run sent 36, the recording has 40"},
      {"time-out", [](auto& s) { s[0].timeout = 30; }, "the time-out: the run sent 30 s"},
      {"data out", [](auto& s) { s[2].data[100] = 0x43; },
       "step 4, a command to sim/usbstor/0: the data sent at byte 100: the run sent 43, the recording has 42"},
      {"direction", [](auto& s) { s[1].direction = DataDirection::Out; }, "the direction: the run sent out"},
      {"a step more", [](auto& s) { s.push_back(s[0]); },
       "step 6: the run asked for a command after the recording's last step"},
      {"a step less", [](auto& s) { s.pop_back(); }, "the run ended after 4 of the recording's 5 steps"},
  };
  for (const Row& row : rows) {
    Replayer replay(recorded);
    VirtualClock clock;
    SimHost host(clock);
    const Platform platform = replay.MakePlatform(host);
    std::vector<DiskInterface> disks;
    platform.disks->ListDiskInterfaces(disks);
    std::vector<Sent> session = Session();
    row.change(session);
    bool sentAfterDifference = false;
    for (Sent& s : session) {
      const bool before = replay.Divergence().has_value();
      const ScsiOutcome outcome = SendTo(*platform.port, s);
      sentAfterDifference = sentAfterDifference || (before && outcome.opened);
    }
    ASSERT_TRUE(replay.Verdict()) << row.what;
    EXPECT_THAT(*replay.Verdict(), HasSubstr(row.message)) << row.what;
    // Once stopped, nothing opens and no disk list is given.
    EXPECT_FALSE(sentAfterDifference) << row.what;
    if (replay.Divergence()) {
      EXPECT_FALSE(platform.disks->ListDiskInterfaces(disks)) << row.what;
    }
  }
}

TEST(Replay, ACommandWhereTheRecordingListsDisksIsADifference) {
  Replayer replay(RecordSession());
  VirtualClock clock;
  SimHost host(clock);
  std::vector<Sent> session = Session();
  SendTo(*replay.MakePlatform(host).port, session[0]);
  EXPECT_THAT(replay.Verdict().value_or(""),
              HasSubstr("step 1: the run asked for a command, the recording has the disk list"));
}

TEST(Replay, RecordingFilesThatCannotBeReplayedAreRefusedByName) {
  const std::string good = RecordingText(RecordSession());
  auto edited = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const std::pair<std::string, const char*> rows[] = {
      {edited("\"version\":1", "\"version\":7"), "recording: version: this tool reads version 1"},
      {edited("\"format\":\"corvane-recording\"", "\"format\":\"x\""), "recording: format: must be"},
      {edited("\"direction\":\"out\",\"length\":512", "\"direction\":\"out\",\"length\":513"), "steps[3].dataOut: must hold the 513 bytes sent"},
      {edited("\"direction\":\"in\"", "\"direction\":\"up\""), "steps[1].direction: must be \"in\" or \"out\""},
      {edited("\"cdb\":\"12 00", "\"cdb\":\"1 200"), "steps[1].cdb: has an odd number of hex digits in a byte"},
      {edited("\"listed\":true", "\"listed\":true,\"when\":0"), "steps[0]: unknown key \"when\""},
  };
  for (const auto& [text, message] : rows) {
    try {
      ParseRecording(text);
      ADD_FAILURE() << "accepted: " << message;
    } catch (const ScenarioError& e) {
      EXPECT_THAT(e.what(), HasSubstr(message));
    }
  }
}

}  // namespace
}  // namespace corvane::sim
