// What the form tells about its last scan and update run, beyond the window's texts: the listed
// devices as data, the scan's outcome, and why a run failed.
#include <gmock/gmock.h>

#include "app/update_run.h"
#include "tests/app/form_fixture.h"

namespace corvane::app::testing {
namespace {

using ::testing::HasSubstr;
using firmware::UpdateStep;
using sim::Bus;
using sim::ChipFamily;

TEST_F(FormTest, TheScanKeepsWhatItListedAsData) {
  struct Row {
    const char* name;
    std::vector<sim::DeviceConfig> devices;
    ScanOutcome outcome;
    std::vector<app::Bus> buses;
    std::vector<std::string> models;
  };
  const Row rows[] = {
      {"none", {}, ScanOutcome::NoAdaptor, {}, {}},
      {"one", {Adaptor(ChipFamily::Kts260, {0, 1, 0, 8}, false, "CV-N2610 Dock")},
       ScanOutcome::Checked, {app::Bus::Usb}, {"Corvane CV-N2610 Dock   "}},
      {"unidentified only", {UnidentifiedBridge()}, ScanOutcome::Checked, {}, {}},
      {"two on other buses",
       {Adaptor(ChipFamily::Kts210, {0, 2, 1, 3}, false, "CV-E2510", Bus::Uas),
        Adaptor(ChipFamily::Kts260, {0, 1, 0, 8}, false, "CV-N2610", Bus::Ieee1394)},
       ScanOutcome::Several, {app::Bus::Uas, app::Bus::Ieee1394},
       {"Corvane CV-E2510        ", "Corvane CV-N2610        "}},
  };
  for (const Row& row : rows) {
    Load(row.devices);
    const int scansBefore = form_.ScanCount();
    StartUp();
    const ScanResult& scan = form_.LastScan();
    EXPECT_EQ(scan.outcome, row.outcome) << row.name;
    ASSERT_EQ(scan.listed.size(), row.buses.size()) << row.name;
    for (std::size_t i = 0; i < scan.listed.size(); ++i) {
      EXPECT_EQ(scan.listed[i].bus, row.buses[i]) << row.name;
      EXPECT_EQ(scan.listed[i].model, row.models[i]) << row.name;
      EXPECT_EQ(scan.listed[i].path, world_->PathOf(i)) << row.name;
      // The window's item is built from the same data.
      EXPECT_EQ(view_.items.size() > i ? view_.items[i] : "", scan.listed[i].ItemText())
          << row.name;
    }
    EXPECT_EQ(form_.ScanCount(), scansBefore + 1) << row.name;
  }
}

// Each way a run can fail is told apart in the result, with where it happened.
TEST_F(FormTest, AFailedRunSaysWhereItFailed) {
  struct Row {
    const char* name;
    std::function<void(sim::DeviceConfig&)> fault;
    std::vector<UpdateStep> steps;
    std::uint32_t offset;  // of the first step, where it has one
    bool failedOnTheWire;
    const char* words;
  };
  const Row rows[] = {
      {"block write refused",
       [](sim::DeviceConfig& c) {
         // The fifth block of each attempt: 4 blocks went through before it both times.
         c.faults.push_back({"WriteBuffer", 5, 0, sim::FaultEffect::CheckCondition});
         c.faults.push_back({"WriteBuffer", 10, 0, sim::FaultEffect::CheckCondition});
       },
       {UpdateStep::BlockWrite, UpdateStep::BlockWrite}, 0x1000, true,
       "a firmware block was refused at flash offset 0x1000, then"},
      {"read-back differs twice",
       [](sim::DeviceConfig& c) { c.corruptions.push_back({0x1FF, false}); },
       {UpdateStep::ReadBackMismatch, UpdateStep::ReadBackMismatch}, 0x1FF, false,
       "differs from what was written at offset 0x1FF (attempt 1), then"},
      {"nvram write refused",
       [](sim::DeviceConfig& c) {
         c.faults.push_back({"WriteChipMemory", 1, 0, sim::FaultEffect::CheckCondition});
       },
       {UpdateStep::NvramWrite}, 0, true, "the NVRAM block could not be written"},
      {"nvram write lost",
       [](sim::DeviceConfig& c) {
         c.faults.push_back({"WriteChipMemory", 1, 0, sim::FaultEffect::Ignore});
       },
       {UpdateStep::NvramMismatch}, 200, false, "NVRAM block read back differs"},
  };
  for (const Row& row : rows) {
    sim::DeviceConfig device = Adaptor(ChipFamily::Kts260, {0, 1, 0, 8});
    row.fault(device);
    Load({device});
    StartUp();
    ASSERT_TRUE(form_.StatusEnabled()) << row.name;
    form_.lblStaustClick();
    const UpdateRunResult& run = form_.LastRun();
    EXPECT_EQ(view_.status, "Update Fail") << row.name;
    EXPECT_EQ(run.outcome, RunOutcome::Fail) << row.name;
    EXPECT_EQ(run.path, world_->PathOf(0)) << row.name;
    ASSERT_EQ(run.failures.size(), row.steps.size()) << row.name;
    for (std::size_t i = 0; i < row.steps.size(); ++i) {
      EXPECT_EQ(run.failures[i].step, row.steps[i]) << row.name;
    }
    EXPECT_EQ(run.failures.front().offset, row.offset) << row.name;
    EXPECT_EQ(run.failedCommand.has_value(), row.failedOnTheWire) << row.name;
    EXPECT_THAT(DescribeRunFailure(run), HasSubstr(row.words)) << row.name;
  }
}

TEST_F(FormTest, ACompleteRunHasNoFailure) {
  Load({Adaptor(ChipFamily::Kts210, {0, 2, 1, 3})});
  EXPECT_EQ(form_.LastRun().outcome, RunOutcome::NotRun);
  StartUp();
  form_.lblStaustClick();
  const UpdateRunResult& run = form_.LastRun();
  EXPECT_EQ(run.outcome, RunOutcome::Complete);
  EXPECT_EQ(run.chipCode, device::kChipCodeKts210);
  EXPECT_TRUE(run.failures.empty());
  EXPECT_FALSE(run.failedCommand.has_value());
  EXPECT_EQ(DescribeRunFailure(run), "");
}

TEST_F(FormTest, PlaceholderImagesAgainstARealDeviceAreTheReasonOfTheFailure) {
  if (!firmware::CarriesPlaceholderImages()) GTEST_SKIP() << "this build carries the maker's images";
  Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
  StartUp();
  port_->posesAsReal = true;
  world_->ClearTrace();
  form_.lblStaustClick();
  const UpdateRunResult& run = form_.LastRun();
  EXPECT_EQ(run.outcome, RunOutcome::Fail);
  ASSERT_EQ(run.failures.size(), 1u);
  EXPECT_EQ(run.failures[0].step, UpdateStep::PlaceholderRefused);
  EXPECT_TRUE(world_->Trace().empty());  // not even the chip information was read
}

}  // namespace
}  // namespace corvane::app::testing
