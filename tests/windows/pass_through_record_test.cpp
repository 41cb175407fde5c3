// What the portable commands hand to Windows through the Windows port: the open, the
// SCSI_PASS_THROUGH_DIRECT record byte by byte, the buffers, the close, and the success rule.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstddef>
#include <functional>
#include <string>

#include "device/bridge_commands.h"
#include "device/pass_through.h"
#include "tests/windows/emulated_stack.h"

namespace corvane::device::windows::testing {
namespace {

constexpr bool k32Bit = sizeof(void*) == 4;
constexpr DWORD kSharedReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

void Put(Bytes& bytes, std::size_t at, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i)
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The record as Windows must receive it, built from the field offsets of its own header.
Bytes ExpectedRecord(const Bytes& cdb, std::uint8_t dataIn, std::uint32_t transferLength,
                     std::uint32_t timeout, const void* dataBuffer) {
  using R = SCSI_PASS_THROUGH_DIRECT;
  Bytes bytes(sizeof(R), 0);
  Put(bytes, offsetof(R, Length), k32Bit ? 44 : 56, 2);
  bytes[offsetof(R, TargetId)] = 1;
  bytes[offsetof(R, CdbLength)] = static_cast<std::uint8_t>(cdb.size());
  bytes[offsetof(R, DataIn)] = dataIn;
  Put(bytes, offsetof(R, DataTransferLength), transferLength, 4);
  Put(bytes, offsetof(R, TimeOutValue), timeout, 4);
  Put(bytes, offsetof(R, DataBuffer), reinterpret_cast<std::uintptr_t>(dataBuffer), sizeof(void*));
  Put(bytes, offsetof(R, SenseInfoOffset), k32Bit ? 48 : 64, 4);
  std::copy(cdb.begin(), cdb.end(), bytes.begin() + offsetof(R, Cdb));
  return bytes;
}

TEST(WindowsRecordLayout, SizesAndTheSenseOffsetFollowTheProcessLayout) {
  EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), k32Bit ? 44u : 56u);
  EXPECT_EQ(kSenseInfoOffset, k32Bit ? 48u : 64u);
  EXPECT_GE(kSenseInfoOffset, sizeof(SCSI_PASS_THROUGH_DIRECT));
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), k32Bit ? 28u : 32u);
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), k32Bit ? 5u : 8u);
  EXPECT_EQ(sizeof(OSVERSIONINFOEXA), 156u);
  EXPECT_EQ(sizeof(OSVERSIONINFOA), 148u);
}

struct RecordRow {
  const char* name;
  std::function<int(std::string_view)> send;
  Bytes cdb;
  std::uint8_t dataIn;
  std::uint32_t transferLength;  // T
  std::uint32_t timeout;
  DWORD share;
  Bytes sent;  // data-out: what the device must receive
};

TEST(WindowsRecord, EachCommandReachesWindowsAsOneExactRecord) {
  static std::array<std::uint8_t, 1024> readBack{};
  static std::array<std::uint8_t, 512> image{};
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  static const std::uint8_t oneByte = 0xA7;

  const RecordRow rows[] = {
      {"no data (L = 0) still goes as data-in",
       [](std::string_view p) { return ReadChipMemory(p, 0xD000, readBack.data(), 0); },
       {0xDF, 0x10, 0, 0, 0, 0, 0, 0, 0x00, 0xD0, 0x00, 0xFA},
       1,
       0,
       10,
       kSharedReadWrite,
       {}},
      {"one byte in (L = 1) travels as two",
       [](std::string_view p) { return ReadBridgeStatus(p, readBack.data()); },
       {0xFF, 0x04, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       1,
       2,
       10,
       kSharedReadWrite,
       {}},
      {"two bytes in",
       [](std::string_view p) { return ReadChipIdWord(p, readBack.data()); },
       {0xDF, 0x10, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0xFF},
       1,
       2,
       10,
       kSharedReadWrite,
       {}},
      {"1024 bytes in by READ BUFFER",
       [](std::string_view p) { return ReadBuffer(p, 0x02, 0, 0, readBack.data(), 1024); },
       {0x3C, 0x02, 0, 0, 0, 0, 0x00, 0x04, 0x00, 0},
       1,
       1024,
       10,
       kSharedReadWrite,
       {}},
      {"WRITE BUFFER without a caller buffer sends zeros, 50 s",
       [](std::string_view p) { return WriteBuffer(p, 0, 0x02, nullptr, 0, 1024); },
       {0x3B, 0x02, 0, 0, 0, 0, 0x00, 0x04, 0x00, 0},
       0,
       1024,
       50,
       0,
       Bytes(1024, 0)},
      {"chip-memory write, sub-code 3: 100 s",
       [](std::string_view p) { return WriteChipMemory(p, 0x11000, image.data(), 512, 3); },
       {0xDF, 0x03, 0x00, 0x02, 0x00, 0, 0, 0, 0x01, 0x10, 0x00, 0xFB},
       0,
       512,
       100,
       0,
       Bytes(image.begin(), image.end())},
      {"chip-memory write, other sub-code: 50 s",
       [](std::string_view p) { return WriteChipMemory(p, 0x11000, image.data(), 512, 1); },
       {0xDF, 0x01, 0x00, 0x02, 0x00, 0, 0, 0, 0x01, 0x10, 0x00, 0xFB},
       0,
       512,
       50,
       0,
       Bytes(image.begin(), image.end())},
      {"one byte out travels as the byte and a zero",
       [](std::string_view p) { return WriteChipMemory(p, 0xD000, &oneByte, 1, 1); },
       {0xDF, 0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0x00, 0xD0, 0x00, 0xFB},
       0,
       2,
       50,
       0,
       Bytes{0xA7, 0x00}},
  };

  for (const RecordRow& row : rows) {
    SCOPED_TRACE(row.name);
    EmulatedStack stack;
    ScopedPlatform installed(stack.Get());
    EXPECT_EQ(row.send(kUsbPath), 1);

    const auto& log = stack.api.Log();
    ASSERT_EQ(log.opens.size(), 1u);
    const auto& open = log.opens[0];
    EXPECT_EQ(open.path, kUsbPath);
    EXPECT_EQ(open.access, DWORD{GENERIC_READ | GENERIC_WRITE});
    EXPECT_EQ(open.share, row.share);
    EXPECT_EQ(open.disposition, DWORD{OPEN_EXISTING});
    EXPECT_EQ(open.flags, 0u);
    EXPECT_FALSE(open.securityAttributes);
    EXPECT_FALSE(open.templateFile);

    ASSERT_EQ(log.requests.size(), 1u);
    const auto& request = log.requests[0];
    EXPECT_EQ(request.device, open.result);
    EXPECT_EQ(request.code, 0x4D014u);
    EXPECT_EQ(request.inSize, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(request.outSize, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_TRUE(request.sameBuffer);
    EXPECT_FALSE(request.overlapped);
    EXPECT_TRUE(OnBoundary(request.recordAddress));
    if (row.transferLength == 0) {
      EXPECT_EQ(request.dataBuffer, nullptr);
    } else {
      EXPECT_TRUE(OnBoundary(request.dataBuffer));
    }
    EXPECT_EQ(request.record, ExpectedRecord(row.cdb, row.dataIn, row.transferLength, row.timeout,
                                             request.dataBuffer));

    const SCSI_PASS_THROUGH_DIRECT record = DecodeRecord(request.record);
    EXPECT_EQ(record.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(record.ScsiStatus, 0);
    EXPECT_EQ(record.PathId, 0);
    EXPECT_EQ(record.TargetId, 1);
    EXPECT_EQ(record.Lun, 0);
    EXPECT_EQ(record.CdbLength, row.cdb.size());
    EXPECT_EQ(record.SenseInfoLength, 0);
    EXPECT_EQ(record.DataIn, row.dataIn);
    EXPECT_EQ(record.DataTransferLength, row.transferLength);
    EXPECT_EQ(record.TimeOutValue, row.timeout);
    EXPECT_EQ(record.SenseInfoOffset, k32Bit ? 48u : 64u);

    // The device got the decoded request: the data phase is the transport's buffer itself.
    ASSERT_EQ(stack.device.seen.size(), 1u);
    const auto& seen = stack.device.seen[0];
    EXPECT_EQ(seen.path, kInnerPath);
    EXPECT_EQ(seen.cdb, row.cdb);
    EXPECT_EQ(seen.timeoutSeconds, row.timeout);
    EXPECT_EQ(seen.dataAddress, request.dataBuffer);
    EXPECT_EQ(seen.openMode, row.share == 0 ? OpenMode::Exclusive : OpenMode::Shared);
    if (row.dataIn == 0) {
      EXPECT_EQ(seen.data, row.sent);
    }

    EXPECT_EQ(log.closes, std::vector<HANDLE>{open.result});
    EXPECT_EQ(stack.api.OpenHandles(), 0u);
  }
}

struct SuccessRow {
  const char* name;
  ScsiOutcome device;
  DWORD errorAfterOpen;
  DWORD errorAfterRequest;
  int expected;
};

TEST(WindowsRecord, SuccessNeedsTheCallTheLastErrorAndTheStatus) {
  const SuccessRow rows[] = {
      {"all good", {true, true, 0, 0, 0, false}, 0, 0, 1},
      {"a code left by the open does not fail a good request",
       {true, true, 0, 0, 0, false},
       ERROR_ALREADY_EXISTS,
       0,
       1},
      {"the call fails (time-out)", {true, false, ERROR_SEM_TIMEOUT, 0, 0, false}, 0, 0, 0},
      {"the call succeeds but an error is recorded",
       {true, true, 0, 0, 0, false},
       0,
       ERROR_IO_DEVICE,
       0},
      {"CHECK CONDITION", {true, true, 0, 2, 0, false}, 0, 0, 0},
      {"the device is gone", {false, false, 0, 0, 0, false}, 0, 0, 0},
  };
  for (const SuccessRow& row : rows) {
    SCOPED_TRACE(row.name);
    EmulatedStack stack;
    stack.device.reply = row.device;
    stack.api.afterOpen = row.errorAfterOpen;
    stack.api.afterRequest = row.errorAfterRequest;
    ScopedPlatform installed(stack.Get());
    std::array<std::uint8_t, 40> inquiry{};
    EXPECT_EQ(ScsiInquiry(kUsbPath, inquiry.data(), 40), row.expected);
    EXPECT_EQ(stack.api.OpenHandles(), 0u);
  }
}

TEST(WindowsRecord, OnlyTheCallersBytesAreCopiedBackAndTheReportedCountIsKept) {
  EmulatedStack stack;
  stack.device.answer = {0x5A, 0xA5};
  ScopedPlatform installed(stack.Get());
  std::array<std::uint8_t, 2> status{0x11, 0x22};
  EXPECT_EQ(ReadBridgeStatus(kUsbPath, status.data()), 1);
  EXPECT_EQ(status[0], 0x5A);
  EXPECT_EQ(status[1], 0x22);  // the widened second byte stays with the transport

  // The count is what Windows wrote back into DataTransferLength.
  stack.device.transferredIsLength = false;
  stack.device.reply.transferred = 12;
  std::array<std::uint8_t, 16> info{};
  std::uint32_t count = 0;
  EXPECT_EQ(ReadChipInfo(kUsbPath, info.data(), 16, &count), 1);
  EXPECT_EQ(count, 12u);
}

TEST(WindowsRecord, AFailedOpenSendsNothingAndLeavesTheCallersBuffer) {
  struct Row {
    const char* name;
    bool present;
    bool accessDenied;
    DWORD error;
  };
  for (const Row& row : {Row{"no such disk", false, false, ERROR_FILE_NOT_FOUND},
                         Row{"no rights", true, true, ERROR_ACCESS_DENIED}}) {
    SCOPED_TRACE(row.name);
    EmulatedStack stack;
    if (row.present) {
      stack.disks[0].accessDenied = row.accessDenied;
    } else {
      stack.disks.clear();
    }
    ScopedPlatform installed(stack.Get());
    std::array<std::uint8_t, 16> buffer;
    buffer.fill(0xEE);
    std::uint32_t count = 777;
    EXPECT_EQ(ReadChipInfo(kUsbPath, buffer.data(), 16, &count), 0);
    EXPECT_EQ(buffer,
              (std::array<std::uint8_t, 16>{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                                            0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(count, 777u);
    EXPECT_TRUE(stack.api.Log().requests.empty());
    EXPECT_TRUE(stack.api.Log().closes.empty());
    EXPECT_TRUE(stack.device.seen.empty());

    // The port tells a refusal for lack of rights from the others.
    std::array<std::uint8_t, 1068 + 8192> block{};
    const std::uint8_t cdb[12] = {0x12};
    ScsiRequest request;
    request.cdb = cdb;
    request.record = std::span<std::uint8_t>(block.data(), 1068);
    const ScsiOutcome outcome = stack.port.Execute(kUsbPath, request);
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.platformError, row.error);
    EXPECT_EQ(outcome.accessDenied, row.accessDenied);
  }
}

TEST(WindowsRecord, ALowerCasedPathStillReachesTheDisk) {
  EmulatedStack stack;
  stack.disks[0].interfacePath =
      "\\\\?\\USBSTOR#Disk&Ven_Corvane&Prod_KTS260_NVMe&Rev_0108#3C9F00000000&0#"
      "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}";
  ScopedPlatform installed(stack.Get());
  std::string lower = stack.disks[0].interfacePath;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::array<std::uint8_t, 40> inquiry{};
  EXPECT_EQ(ScsiInquiry(lower, inquiry.data(), 40), 1);
  ASSERT_EQ(stack.device.seen.size(), 1u);
  EXPECT_EQ(stack.device.seen[0].path, kInnerPath);
}

TEST(WindowsRecord, ARequestNoRecordCanCarryNeverOpensTheDisk) {
  EmulatedStack stack;
  std::array<std::uint8_t, 1068> block{};
  const std::uint8_t longBlock[17] = {0x12};
  for (const std::size_t cdbLength : {std::size_t{0}, std::size_t{17}}) {
    ScsiRequest request;
    request.cdb = std::span<const std::uint8_t>(longBlock, cdbLength);
    request.record = block;
    const ScsiOutcome outcome = stack.port.Execute(kUsbPath, request);
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.platformError, DWORD{ERROR_INVALID_PARAMETER});
  }
  EXPECT_TRUE(stack.api.Log().opens.empty());
}

}  // namespace
}  // namespace corvane::device::windows::testing
