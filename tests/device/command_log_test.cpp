// The transport's log of the commands it sends: what failed since a caller began, and refused
// opens for lack of rights.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "device/command_trace.h"
#include "device/pass_through.h"
#include "tests/device/fake_device.h"

namespace corvane::device::testing {
namespace {

ScsiOutcome Ok() {
  ScsiOutcome o;
  o.opened = o.carriedOut = true;
  return o;
}

TEST(CommandLog, TellsWhatFailedAndWhatWasDeniedSinceAMark) {
  struct Step {
    ScsiOutcome outcome;
    bool failed, denied;
  };
  ScsiOutcome checkCondition = Ok();
  checkCondition.scsiStatus = 2;
  ScsiOutcome notCarriedOut;
  notCarriedOut.opened = true;
  ScsiOutcome denied;
  denied.accessDenied = true;
  ScsiOutcome gone;  // not opened, not for lack of rights
  const Step steps[] = {{Ok(), false, false},
                        {checkCondition, true, false},
                        {notCarriedOut, true, false},
                        {gone, true, false},
                        {denied, true, true}};
  const std::array<std::uint8_t, 12> cdb{0x12};
  ScsiRequest request;
  request.cdb = cdb;
  for (const Step& step : steps) {
    CommandLog log;
    log.Record("p", request, Ok());
    const std::uint64_t mark = log.Sequence();
    log.Record("p", request, step.outcome);
    EXPECT_EQ(log.LastFailedSince(mark).has_value(), step.failed);
    EXPECT_EQ(log.AccessDeniedSince(mark), step.denied);
    // Nothing is reported for the time after it.
    EXPECT_FALSE(log.LastFailedSince(log.Sequence()).has_value());
    EXPECT_FALSE(log.AccessDeniedSince(log.Sequence()));
  }
}

// Installed with the platform, the log sees every command the transport sends, as sent.
TEST(CommandLog, TheTransportRecordsEachCommandAsSent) {
  FakeDevice dev;
  CommandLog log;
  std::vector<TraceEntry> seen;
  log.SetSink([&](const TraceEntry& entry) { seen.push_back(entry); });
  dev.port.rules.push_back({{0xFF, 0x04, 0x12}, Answer({0x00, 0x00})});
  ScopedPlatform installed(Platform{&dev.port, &dev.disks, &dev.host, &log});
  const std::uint8_t status[12] = {0xFF, 0x04, 0x12};
  std::uint8_t byte = 0;
  std::uint32_t count = 0;
  PassThroughIn("d", status, 12, &byte, 1, &count);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].length, 2u);  // a 1-byte read travels as 2
  EXPECT_EQ(seen[0].timeoutSeconds, 10u);
  EXPECT_EQ(FormatTraceEntry(seen[0]).substr(0, 40), "d  FF 04 12 00 00 00 00 00 00 00 00 00  ");
  EXPECT_EQ(log.Sequence(), 1u);
}

}  // namespace
}  // namespace corvane::device::testing
