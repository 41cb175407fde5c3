#include "device/pass_through.h"

#include <gtest/gtest.h>

#include "device/aligned_buffer.h"
#include "tests/device/fake_device.h"

namespace corvane::device::testing {
namespace {

constexpr std::uint8_t kBlock12[12] = {0xE0, 0xF4, 0xE7};

struct ShapeRow {
  DataDirection direction;
  std::uint32_t length;
  bool callerBuffer;
  Bytes wire;  // what the port sees in the transfer buffer
};

TEST(PassThrough, TransferShapeAndOpenMode) {
  const Bytes caller = {0x7E, 0x11, 0x22, 0x33};
  const std::vector<ShapeRow> rows = {
      {DataDirection::In, 0, true, {}},
      {DataDirection::In, 1, true, {0, 0}},  // one byte travels as two, zero-filled
      {DataDirection::In, 4, true, {0, 0, 0, 0}},
      {DataDirection::Out, 0, true, {}},
      {DataDirection::Out, 1, true, {0x7E, 0x00}},
      {DataDirection::Out, 4, true, {0x7E, 0x11, 0x22, 0x33}},
      {DataDirection::Out, 1, false, {0, 0}},
      {DataDirection::Out, 3, false, {0, 0, 0}},
  };
  for (const ShapeRow& row : rows) {
    SCOPED_TRACE(::testing::Message() << "out=" << (row.direction == DataDirection::Out)
                                      << " L=" << row.length << " buf=" << row.callerBuffer);
    FakeDevice dev;
    Bytes in(row.length + 1, 0xCC);
    std::uint32_t count = 99;
    if (row.direction == DataDirection::In) {
      PassThroughIn("p", kBlock12, 12, row.callerBuffer ? in.data() : nullptr, row.length, &count);
    } else {
      PassThroughOut("p", kBlock12, 12, row.callerBuffer ? caller.data() : nullptr, row.length,
                     &count);
    }
    ASSERT_EQ(dev.port.calls.size(), 1u);
    const Call& call = dev.port.calls[0];
    EXPECT_EQ(call.data, row.wire);
    EXPECT_EQ(call.direction, row.direction);
    EXPECT_EQ(call.cdb, Bytes(kBlock12, kBlock12 + 12));
    EXPECT_EQ(call.openMode,
              row.direction == DataDirection::In ? OpenMode::Shared : OpenMode::Exclusive);
    EXPECT_TRUE(call.aligned);
    EXPECT_TRUE(call.recordZeroed);
    // Data-in: exactly L bytes come back, the byte behind them is never written.
    if (row.direction == DataDirection::In) {
      EXPECT_EQ(in.back(), 0xCC);
    }
  }
}

struct OutcomeRow {
  const char* name;
  Reply reply;
  int result;
  bool copiedBack;
};

TEST(PassThrough, SuccessRuleAndCopyBack) {
  const Bytes answer = {0xAA, 0xBB, 0xCC};
  const std::vector<OutcomeRow> rows = {
      {"good", Answer(answer), 1, true},
      {"not carried out", {true, false, 0, 0, answer}, 0, true},
      {"platform error", {true, true, 121, 0, answer}, 0, true},
      {"check condition", {true, true, 0, 2, answer}, 0, true},
      {"open fails", {false, true, 0, 0, answer}, 0, false},
  };
  for (const OutcomeRow& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDevice dev;
    dev.port.responder = [&](const Call&) { return row.reply; };
    Bytes buffer(4, 0x5A);
    std::uint32_t count = 77;
    EXPECT_EQ(PassThroughIn("p", kBlock12, 12, buffer.data(), 4, &count), row.result);
    EXPECT_EQ(buffer, row.copiedBack ? Bytes({0xAA, 0xBB, 0xCC, 0x00}) : Bytes(4, 0x5A));
    EXPECT_EQ(count, row.copiedBack ? 3u : 77u);
    std::uint8_t out[2] = {1, 2};
    EXPECT_EQ(PassThroughOut("p", kBlock12, 12, out, 2, &count), row.result);
  }
}

TEST(PassThrough, NoPortIsAnOpenFailure) {
  ScopedPlatform none{Platform{}};
  Bytes buffer(2, 0x5A);
  std::uint32_t count = 7;
  EXPECT_EQ(PassThroughIn("p", kBlock12, 12, buffer.data(), 2, &count), 0);
  EXPECT_EQ(PassThroughOut("p", kBlock12, 12, buffer.data(), 2, &count), 0);
  EXPECT_EQ(buffer, Bytes(2, 0x5A));
  EXPECT_EQ(count, 7u);
}

struct TimeoutRow {
  Bytes block;
  std::uint8_t length;
  std::uint32_t seconds;
};

TEST(PassThrough, DataOutTimeout) {
  const std::vector<TimeoutRow> rows = {
      {{0xDF, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB}, 12, 100},  // commit after download
      {{0xDF, 0x01, 0, 0x02, 0, 0, 0, 0, 0, 0xD0, 0, 0xFB}, 12, 50},
      {{0xDF, 0x01, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB}, 12, 100},  // length high byte 0x13
      {{0x3B, 0x06, 0x00, 0, 0x04, 0, 0x01, 0, 0, 0}, 10, 50},
      {{0x3B, 0x06, 0x13, 0, 0, 0, 0, 0x04, 0, 0}, 10, 100},  // buffer id 0x13
      // Bytes past a 10-byte block count as zero even when memory behind it holds 03 .. FB.
      {{0x3B, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB}, 10, 50},
      {{0x00, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB}, 12, 100},
  };
  for (const TimeoutRow& row : rows) {
    EXPECT_EQ(DataOutTimeoutSeconds(row.block.data(), row.length), row.seconds);
    FakeDevice dev;
    PassThroughOut("p", row.block.data(), row.length, nullptr, 0, nullptr);
    PassThroughIn("p", row.block.data(), row.length, nullptr, 0, nullptr);
    ASSERT_EQ(dev.port.calls.size(), 2u);
    EXPECT_EQ(dev.port.calls[0].timeoutSeconds, row.seconds);
    EXPECT_EQ(dev.port.calls[0].cdb.size(), row.length);
    EXPECT_EQ(dev.port.calls[1].timeoutSeconds, 10u);
  }
}

TEST(AlignedBlock, ZeroedAlignedAndRefusesWrappingSizes) {
  AlignedBlock block(5000);
  ASSERT_TRUE(block);
  EXPECT_TRUE(Aligned(block.data()));
  EXPECT_TRUE(std::all_of(block.data(), block.data() + 5000, [](std::uint8_t b) { return b == 0; }));
  AlignedBlock moved = std::move(block);
  EXPECT_FALSE(block);
  EXPECT_EQ(moved.size(), 5000u);
  EXPECT_EQ(AllocZeroed(SIZE_MAX - 100, kTransferAlignment), nullptr);
  EXPECT_EQ(AlignUp(reinterpret_cast<void*>(8193), 8192), reinterpret_cast<void*>(16384));
  EXPECT_EQ(AlignUp(reinterpret_cast<void*>(16384), 8192), reinterpret_cast<void*>(16384));
}

TEST(ScopedPlatform, RestoresThePreviousWiring) {
  FakeHost outer, inner;
  ScopedPlatform a{Platform{nullptr, nullptr, &outer}};
  {
    ScopedPlatform b{Platform{nullptr, nullptr, &inner}};
    EXPECT_EQ(&ActiveHost(), &inner);
  }
  EXPECT_EQ(&ActiveHost(), &outer);
}

}  // namespace
}  // namespace corvane::device::testing
