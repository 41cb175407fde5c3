// The update run started from the status label, and the device-change watch with its rescan timer.
#include <algorithm>
#include <ostream>

#include "tests/app/form_fixture.h"

namespace corvane::app::testing {
namespace {

using namespace ::corvane::device;

using sim::ChipFamily;

std::size_t Count(const std::vector<std::string>& calls, const std::string& call) {
  return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
}

const std::string kLooking = "Status Looking for Corvane adaptor";
const std::string kUpdating = "Status Updating";

// The chip-memory writes of the NVRAM rewrite (DF 01 ... FB) and the address they went to.
std::vector<std::uint32_t> NvramWriteAddresses(const sim::SimWorld& world) {
  std::vector<std::uint32_t> addresses;
  for (const device::TraceEntry& entry : world.Trace()) {
    if (entry.cdb.size() == 12 && entry.cdb[0] == 0xDF && entry.cdb[1] == 0x01) {
      addresses.push_back(std::uint32_t{entry.cdb[8]} << 16 | std::uint32_t{entry.cdb[9]} << 8 |
                          entry.cdb[10]);
    }
  }
  return addresses;
}

struct RunCase {
  const char* name;
  ChipFamily family;
  std::array<std::uint8_t, 4> outdated;
  std::array<std::uint8_t, 4> carried;
  std::uint32_t nvramAddress;
};

// Test names and failure messages show the case by its name, not as raw bytes.
void PrintTo(const RunCase& c, std::ostream* out) { *out << c.name; }

class UpdateRunTest : public FormTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(UpdateRunTest, AClickOnTheOfferWritesFlashAndNvramAndShowsComplete) {
  const RunCase& c = GetParam();
  Load({Adaptor(c.family, c.outdated)});
  StartUp();
  ASSERT_TRUE(form_.StatusEnabled());
  world_->ClearTrace();
  const std::size_t mark = Mark();
  form_.lblStaustClick();

  const std::vector<std::string> calls = Since(mark);
  const std::vector<std::string> head = {"Enabled 0",        "Process",   "Visible Image2 0",
                                         "Visible Image3 0", kUpdating,   "Enabled 0",
                                         "Visible UpdateProgressBar 1", "Process"};
  const std::vector<std::string> tail = {"Picture Image3 GOOD",
                                         "Visible UpdateProgressBar 0",
                                         "Visible Image2 0",
                                         "Visible Image3 1",
                                         "Status Update complete",
                                         "Enabled 0",
                                         "Process"};
  ASSERT_GE(calls.size(), head.size() + tail.size());
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 8), head);
  EXPECT_EQ(std::vector<std::string>(calls.end() - 7, calls.end()), tail);
  ASSERT_FALSE(host_.DebugTexts().empty());
  EXPECT_EQ(host_.DebugTexts().front(), "btn_upd Press\n");
  EXPECT_FALSE(view_.progress.empty());
  EXPECT_EQ(form_.UpdateInProgress, 0);
  EXPECT_FALSE(form_.StatusEnabled());
  EXPECT_EQ(NvramWriteAddresses(*world_), std::vector<std::uint32_t>{c.nvramAddress});
  // The run trusts the check's identification: its first command is the flash procedure's own.
  ASSERT_FALSE(world_->Trace().empty());
  EXPECT_EQ(world_->Trace().front().cdb[0], 0xE0);
  EXPECT_EQ(world_->Bridge(0).FirmwareVersion(), c.carried);

  // After a re-plug the rescan finds the carried firmware current.
  world_->Replug(0);
  form_.btn_RefreshClick();
  EXPECT_EQ(view_.status, "Your product is up to date");
}

INSTANTIATE_TEST_SUITE_P(
    Bridges, UpdateRunTest,
    ::testing::Values(RunCase{"Sata", ChipFamily::Kts210, {0, 2, 1, 3}, {0, 2, 1, 4}, 0xD000},
                      RunCase{"Nvme", ChipFamily::Kts260, {0, 1, 0, 8}, {234, 1, 0, 1}, 0x11000}),
    [](const ::testing::TestParamInfo<RunCase>& param) { return param.param.name; });

bool IsWriteBuffer(std::span<const std::uint8_t> cdb) { return cdb[0] == 0x3B; }
bool IsChipMemoryWrite(std::span<const std::uint8_t> cdb) {
  return cdb[0] == 0xDF && cdb[1] == 0x01;
}

TEST_F(FormTest, AFailedFlashOrNvramWriteShowsUpdateFail) {
  struct Row {
    const char* name;
    bool (*matches)(std::span<const std::uint8_t>);
    bool nvramTried;
  };
  const Row rows[] = {{"flash", IsWriteBuffer, false}, {"nvram", IsChipMemoryWrite, true}};
  for (const Row& row : rows) {
    Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
    StartUp();
    ASSERT_TRUE(form_.StatusEnabled()) << row.name;
    world_->ClearTrace();
    ArmAt(kUpdating, row.matches, InterposedPort::Action::Fail, /*sticky=*/true);
    form_.lblStaustClick();
    EXPECT_GE(port_->hits, 1) << row.name;
    EXPECT_EQ(view_.status, "Update Fail") << row.name;
    EXPECT_EQ(view_.pictures[ControlId::Image3], "CROSS") << row.name;
    EXPECT_FALSE(view_.visibility[ControlId::UpdateProgressBar]) << row.name;
    EXPECT_TRUE(view_.visibility[ControlId::Image3]) << row.name;
    EXPECT_EQ(form_.UpdateInProgress, 0) << row.name;
    // A failed flash never reaches the NVRAM (the interposed failures do not reach the trace).
    const bool nvramRead = std::any_of(
        world_->Trace().begin(), world_->Trace().end(), [](const device::TraceEntry& entry) {
          return entry.cdb.size() == 12 && entry.cdb[0] == 0xDF && entry.cdb[1] == 0x10 &&
                 entry.cdb[11] == 0xFA;
        });
    EXPECT_EQ(nvramRead, row.nvramTried) << row.name;
  }
}

TEST_F(FormTest, TheLabelStartsExactlyOneRunAndOnlyWhenItOffersTheUpdate) {
  Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
  StartUp();
  int clicksDuringRun = 0;
  view_.onCall = [&](const std::string& call) {
    if (call == kUpdating && clicksDuringRun == 0) {
      ++clicksDuringRun;
      form_.lblStaustClick();  // a click that arrives while the run works
    }
  };
  form_.lblStaustClick();
  form_.lblStaustClick();  // after the run: the label is disabled
  EXPECT_EQ(Count(view_.calls, kUpdating), 1u);
  EXPECT_EQ(std::count(host_.DebugTexts().begin(), host_.DebugTexts().end(), "btn_upd Press\n"),
            1);

  // A current bridge offers nothing: the label does not start a run.
  Load({Adaptor(ChipFamily::Kts260, {234, 1, 0, 1})});
  form_.btn_RefreshClick();
  const std::size_t mark = Mark();
  form_.lblStaustClick();
  EXPECT_TRUE(Since(mark).empty());
}

// Closing the window while the flash is written would leave the write going on unseen: the window
// stays until the run has shown its result, then closes by itself after a while.
TEST_F(FormTest, ACloseRequestDuringTheRunWaitsForTheResult) {
  const struct {
    const char* name;
    bool closeDuringRun;
    bool removalFirst;  // a removal clears UpdateInProgress before the request comes
  } rows[] = {{"no request", false, false}, {"request", true, false},
              {"request after a removal", true, true}};
  for (const auto& row : rows) {
    Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
    StartUp();
    EXPECT_TRUE(form_.FormCloseQuery()) << row.name << ": idle, it closes at once";
    bool asked = false, kept = false;
    view_.onCall = [&](const std::string& call) {
      if (call != kUpdating || asked || !row.closeDuringRun) return;
      asked = true;
      if (row.removalFirst) form_.WMDeviceChange(kDbtDeviceRemoveComplete);
      kept = !form_.FormCloseQuery();
    };
    const std::size_t mark = Mark();
    form_.lblStaustClick();
    view_.onCall = nullptr;
    const std::vector<std::string> calls = Since(mark);
    EXPECT_EQ(kept, row.closeDuringRun) << row.name;
    const auto result = std::find(calls.begin(), calls.end(), "Status Update complete");
    ASSERT_NE(result, calls.end()) << row.name << ": the run went on to its end";
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "CloseWindow"), 0) << row.name;
    EXPECT_EQ(std::count(result, calls.end(), "StartTimer 102 3000"), row.closeDuringRun ? 1 : 0)
        << row.name;

    view_.IdleFor(kCloseAfterResultMs + 100);
    EXPECT_EQ(Count(Since(mark), "CloseWindow"), row.closeDuringRun ? 1u : 0u) << row.name;
    EXPECT_EQ(view_.timers.count(kCloseTimerId), 0u) << row.name;
    view_.calls.clear();
  }
}

// A click that was queued while the check read the bridge reaches the label when the check lets
// messages through right after showing its offer. The user never saw that offer, and the check may
// still withdraw it, so the click writes nothing; the offer, if it stands, takes the next click.
TEST_F(FormTest, AClickQueuedDuringTheCheckNeverStartsARunInsideIt) {
  const std::string offer =
      "Status Click here to download and update the Corvane NVMe Bridge 234.01.00.01";
  struct Row {
    const char* name;
    bool vendorBlockUnreadable;  // the check withdraws its offer at its end
    bool offerStands;
  };
  const Row rows[] = {{"offer stands", false, true}, {"offer withdrawn", true, false}};
  const auto runsTraced = [this] {
    return std::count(host_.DebugTexts().begin(), host_.DebugTexts().end(), "btn_upd Press\n");
  };
  for (const Row& row : rows) {
    const auto runsBefore = runsTraced();
    Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
    if (row.vendorBlockUnreadable) {
      ArmAt("Status Checking for FW update", [](std::span<const std::uint8_t> cdb) {
        return cdb[0] == 0xDF && cdb[1] == 0x10 && cdb[11] == 0xFA;
      });
    }
    bool offered = false;
    int clicks = 0;
    const auto previous = view_.onCall;
    view_.onCall = [&](const std::string& call) {
      if (previous) previous(call);
      if (call == offer) offered = true;
      if (offered && call == "Process" && clicks == 0) {
        ++clicks;
        form_.lblStaustClick();
      }
    };
    form_.Start();
    view_.onCall = nullptr;
    EXPECT_EQ(clicks, 1) << row.name;
    EXPECT_EQ(Count(view_.calls, kUpdating), 0u) << row.name;
    EXPECT_EQ(runsTraced(), runsBefore) << row.name;
    EXPECT_EQ(form_.StatusEnabled(), row.offerStands) << row.name;

    form_.lblStaustClick();
    EXPECT_EQ(Count(view_.calls, kUpdating), row.offerStands ? 1u : 0u) << row.name;
    view_.calls.clear();
  }
}

class WatchTest : public FormTest {
 protected:
  void SetUp() override {
    Load({Adaptor(ChipFamily::Kts260, {234, 1, 0, 1})});
    StartUp();
    view_.scanStarts.clear();
  }
};

TEST_F(WatchTest, ABurstOfRelevantEventsEndsInOneRescan500MsAfterTheLast) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> events;  // (delay before, code)
    std::size_t rescans;
    std::uint64_t lastEventToRescanMs;
  };
  const Row rows[] = {
      {"node changes", {{0, kDbtDevNodesChanged}, {100, kDbtDevNodesChanged}, {300, kDbtDevNodesChanged}}, 1, 500},
      {"removal", {{0, kDbtDeviceRemoveComplete}, {20, kDbtDevNodesChanged}}, 1, 500},
      {"arrival alone", {{0, kDbtDeviceArrival}}, 0, 0},
      {"other codes", {{0, 0x8001}, {10, 0x8003}, {10, 0x0018}}, 0, 0},
  };
  for (const Row& row : rows) {
    view_.scanStarts.clear();
    for (const auto& [delay, code] : row.events) {
      view_.IdleFor(delay);
      view_.PostDeviceChange(code);
      view_.Pump();
    }
    const std::uint64_t lastEvent = clock_.NowMs();
    view_.IdleFor(3000);
    ASSERT_EQ(view_.scanStarts.size(), row.rescans) << row.name;
    if (row.rescans == 1) {
      EXPECT_EQ(view_.scanStarts[0] - lastEvent, row.lastEventToRescanMs) << row.name;
    }
    EXPECT_TRUE(view_.timers.empty()) << row.name << ": the timer fires once";
  }
}

// The rescan timer is 101 and no other: a node change arms 101, and a tick of any other timer
// neither rescans nor disarms it.
TEST_F(WatchTest, OtherTimerIdsChangeNothing) {
  std::size_t mark = Mark();
  view_.PostDeviceChange(kDbtDevNodesChanged);
  view_.Pump();
  EXPECT_EQ(Since(mark), (std::vector<std::string>{"KillTimer 101", "StartTimer 101 500"}));
  mark = Mark();
  for (std::uintptr_t id : {0u, 1u, 100u, 102u, 103u, 0xFFFFu, 101u + 0x10000u}) form_.WMTimer(id);
  EXPECT_TRUE(Since(mark).empty());
  EXPECT_EQ(view_.timers.count(kRescanTimerId), 1u);
  EXPECT_TRUE(view_.scanStarts.empty());
}

TEST_F(WatchTest, WhileAnUpdateRunsNodeChangesAreIgnoredAndAnArmedTimerWaits) {
  view_.PostDeviceChange(kDbtDevNodesChanged);
  view_.Pump();
  form_.UpdateInProgress = 1;
  const std::size_t mark = Mark();
  view_.PostDeviceChange(kDbtDevNodesChanged);
  view_.IdleFor(1200);
  EXPECT_TRUE(view_.scanStarts.empty());
  EXPECT_EQ(Count(Since(mark), "StartTimer 101 500"), 0u);
  EXPECT_EQ(view_.timers.count(kRescanTimerId), 1u) << "stays armed";
  form_.UpdateInProgress = 0;
  view_.IdleFor(500);
  EXPECT_EQ(view_.scanStarts.size(), 1u);
}

// A removal during the run clears UpdateInProgress, and its rescan waits for the run's end. A node
// change handled in the run's last message processing, while the result is being shown, finds the
// run still in progress: no timer is armed, so the result stays on screen.
TEST_F(WatchTest, EventsDuringARunRescanOnlyWhenTheyClearedTheFlag) {
  struct Row {
    const char* name;
    std::string postAt;  // the recorded call at which the event is posted
    std::uint32_t code;
    bool clearedDuringRun;
    std::size_t rescans;
  };
  const Row rows[] = {
      {"removal while writing", kUpdating, kDbtDeviceRemoveComplete, true, 1},
      {"node change at the result", "Status Update complete", kDbtDevNodesChanged, false, 0},
  };
  for (const Row& row : rows) {
    Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
    form_.btn_RefreshClick();
    ASSERT_TRUE(form_.StatusEnabled()) << row.name;
    view_.scanStarts.clear();
    view_.msPerProcess = 50;  // time passes while the run lets messages through
    bool posted = false;
    bool clearedDuringRun = false;
    view_.onCall = [&](const std::string& call) {
      if (call == row.postAt && !posted) {
        posted = true;
        view_.PostDeviceChange(row.code);
      }
      if (posted && call == "Process" && form_.Busy() && form_.UpdateInProgress == 0) {
        clearedDuringRun = true;
      }
    };
    const std::size_t mark = Mark();
    form_.lblStaustClick();
    view_.onCall = nullptr;
    const std::vector<std::string> calls = Since(mark);
    EXPECT_TRUE(posted) << row.name;
    EXPECT_EQ(clearedDuringRun, row.clearedDuringRun) << row.name;
    const auto complete = std::find(calls.begin(), calls.end(), "Status Update complete");
    ASSERT_NE(complete, calls.end()) << row.name;
    EXPECT_EQ(std::count(calls.begin(), complete, kLooking), 0) << row.name << ": no rescan inside the run";
    EXPECT_EQ(Count({complete, calls.end()}, kLooking), row.rescans) << row.name;
    EXPECT_EQ(Count(calls, "StartTimer 101 500"), row.rescans) << row.name;
    view_.IdleFor(3000);
    EXPECT_EQ(view_.scanStarts.size(), row.rescans) << row.name;
    if (row.rescans == 0) {
      EXPECT_EQ(view_.status, "Update complete") << row.name << ": the result stays on screen";
    }
    view_.msPerProcess = 0;
    view_.calls.clear();
  }
}

TEST_F(WatchTest, ARescanThatComesDueDuringAScanRunsAfterIt) {
  view_.msPerProcess = 600;
  bool posted = false;
  view_.onCall = [&](const std::string& call) {
    if (call == kLooking && !posted) {
      posted = true;
      view_.PostDeviceChange(kDbtDevNodesChanged);
    }
  };
  const std::size_t mark = Mark();
  form_.btn_RefreshClick();
  const std::vector<std::string> calls = Since(mark);
  ASSERT_EQ(Count(calls, kLooking), 2u) << ::testing::PrintToString(calls);
  const auto first = std::find(calls.begin(), calls.end(), kLooking);
  const auto second = std::find(first + 1, calls.end(), kLooking);
  // The first scan finished (its check's result shown) before the second began.
  EXPECT_NE(std::find(first, second, "Status Your product is up to date"), second)
      << ::testing::PrintToString(calls);
  EXPECT_FALSE(form_.Busy());
}

}  // namespace
}  // namespace corvane::app::testing
