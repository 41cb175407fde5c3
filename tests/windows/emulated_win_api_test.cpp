// The emulated storage stack refuses what Windows refuses and hands on exactly what a request
// carries, so the demo and the tests cannot pass a record that a real Windows would reject.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "tests/windows/emulated_stack.h"

namespace corvane::device::windows::testing {
namespace {

// A good data-in record (a 6-byte INQUIRY for 64 bytes) and the handle it is sent on.
struct DirectCall {
  EmulatedStack stack;
  std::array<std::uint8_t, 64> data{};
  SCSI_PASS_THROUGH_DIRECT record{};
  DWORD returned = 0;
  HANDLE handle = INVALID_HANDLE_VALUE;

  DirectCall() {
    record.Length = sizeof(record);
    record.TargetId = 1;
    record.CdbLength = 6;
    record.DataIn = SCSI_IOCTL_DATA_IN;
    record.DataTransferLength = 64;
    record.TimeOutValue = 10;
    record.DataBuffer = data.data();
    record.SenseInfoOffset = static_cast<ULONG>(kSenseInfoOffset);
    const std::uint8_t cdb[16] = {0x12, 0, 0, 0, 64, 0, 0xEE, 0xEE};  // past CdbLength: not sent
    std::memcpy(record.Cdb, cdb, sizeof cdb);
  }
  void Open(DWORD access = GENERIC_READ | GENERIC_WRITE,
            DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE) {
    handle = stack.api.CreateFileA(kUsbPath, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  BOOL Send(DWORD code = IOCTL_SCSI_PASS_THROUGH_DIRECT, DWORD inSize = sizeof(record),
            DWORD outSize = sizeof(record)) {
    return stack.api.DeviceIoControl(handle, code, &record, inSize, &record, outSize, &returned,
                                     nullptr);
  }
};

TEST(EmulatedWinApi, RefusesTheRequestsWindowsRefuses) {
  struct Row {
    const char* name;
    std::function<void(DirectCall&)> spoil;
    std::function<BOOL(DirectCall&)> send;
    DWORD error;
  };
  const auto plain = [](DirectCall& c) { return c.Send(); };
  const DWORD size = sizeof(SCSI_PASS_THROUGH_DIRECT);
  const Row rows[] = {
      {"another control code", [](DirectCall&) {},
       [](DirectCall& c) { return c.Send(IOCTL_SCSI_PASS_THROUGH); }, ERROR_INVALID_FUNCTION},
      {"input shorter than the record", [](DirectCall&) {},
       [size](DirectCall& c) { return c.Send(IOCTL_SCSI_PASS_THROUGH_DIRECT, size - 1, size); },
       ERROR_INVALID_PARAMETER},
      {"output shorter than the record", [](DirectCall&) {},
       [size](DirectCall& c) { return c.Send(IOCTL_SCSI_PASS_THROUGH_DIRECT, size, size - 1); },
       ERROR_INVALID_PARAMETER},
      {"Length of the other process layout",
       [](DirectCall& c) { c.record.Length = sizeof(void*) == 4 ? 56 : 44; }, plain,
       ERROR_INVALID_PARAMETER},
      {"no command block", [](DirectCall& c) { c.record.CdbLength = 0; }, plain,
       ERROR_INVALID_PARAMETER},
      {"command block over 16 bytes", [](DirectCall& c) { c.record.CdbLength = 17; }, plain,
       ERROR_INVALID_PARAMETER},
      {"unknown direction", [](DirectCall& c) { c.record.DataIn = 3; }, plain,
       ERROR_INVALID_PARAMETER},
      {"data without a buffer", [](DirectCall& c) { c.record.DataBuffer = nullptr; }, plain,
       ERROR_INVALID_PARAMETER},
      {"no time-out", [](DirectCall& c) { c.record.TimeOutValue = 0; }, plain,
       ERROR_INVALID_PARAMETER},
      {"a handle that was never opened",
       [](DirectCall& c) { c.handle = reinterpret_cast<HANDLE>(0x4444); }, plain,
       ERROR_INVALID_HANDLE},
      {"a handle opened for reading only",
       [](DirectCall& c) {
         c.stack.api.CloseHandle(c.handle);
         c.Open(GENERIC_READ);
       },
       plain, ERROR_ACCESS_DENIED},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DirectCall call;
    call.Open();
    row.spoil(call);
    EXPECT_EQ(row.send(call), FALSE);
    EXPECT_EQ(call.stack.api.GetLastError(), row.error);
    EXPECT_TRUE(call.stack.device.seen.empty());
  }
}

TEST(EmulatedWinApi, HandsTheDecodedRequestOnAndWritesBackStatusAndCount) {
  struct Row {
    const char* name;
    ScsiOutcome device;
    BOOL result;
    DWORD error;          // the last error after the call (it starts at 1234)
    std::uint8_t status;  // ScsiStatus written back
    ULONG transferred;    // DataTransferLength written back
  };
  const Row rows[] = {
      {"good", {true, true, 0, 0, 36, false}, TRUE, 1234, 0, 36},
      {"CHECK CONDITION is a call that went through",
       {true, true, 0, 2, 0, false},
       TRUE,
       1234,
       2,
       0},
      {"not carried out",
       {true, false, ERROR_SEM_TIMEOUT, 0, 0, false},
       FALSE,
       ERROR_SEM_TIMEOUT,
       0,
       64},
      {"the device could not be reached",
       {false, false, 0, 0, 0, false},
       FALSE,
       ERROR_DEVICE_NOT_CONNECTED,
       0,
       64},
      {"the device refused the open",
       {false, false, ERROR_SHARING_VIOLATION, 0, 0, false},
       FALSE,
       ERROR_SHARING_VIOLATION,
       0,
       64},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DirectCall call;
    call.stack.device.reply = row.device;
    call.stack.device.transferredIsLength = false;
    call.Open(GENERIC_READ | GENERIC_WRITE, 0);
    call.stack.api.SetLastError(1234);  // success leaves it alone, as on Windows
    EXPECT_EQ(call.Send(), row.result);
    EXPECT_EQ(call.stack.api.GetLastError(), row.error);
    EXPECT_EQ(call.record.ScsiStatus, row.status);
    EXPECT_EQ(call.record.DataTransferLength, row.transferred);
    if (row.result) {
      EXPECT_EQ(call.returned, sizeof(SCSI_PASS_THROUGH_DIRECT));
    }

    ASSERT_EQ(call.stack.device.seen.size(), 1u);
    const auto& seen = call.stack.device.seen[0];
    EXPECT_EQ(seen.path, kInnerPath);
    EXPECT_EQ(seen.cdb, (Bytes{0x12, 0, 0, 0, 64, 0}));
    EXPECT_EQ(seen.direction, DataDirection::In);
    EXPECT_EQ(seen.dataAddress, call.data.data());
    EXPECT_EQ(seen.data.size(), 64u);
    EXPECT_EQ(seen.timeoutSeconds, 10u);
    EXPECT_EQ(seen.openMode, OpenMode::Exclusive);  // the handle shares nothing
  }
}

TEST(EmulatedWinApi, OpensLikeWindows) {
  EmulatedStack stack;
  auto& api = stack.api;
  const DWORD readWrite = GENERIC_READ | GENERIC_WRITE;
  const DWORD shareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;

  EXPECT_EQ(api.CreateFileA("\\\\?\\usbstor#other", readWrite, shareBoth, nullptr, OPEN_EXISTING, 0,
                            nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(api.GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(api.CreateFileA(kUsbPath, readWrite, shareBoth, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(api.GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

  // Two shared opens coexist and get distinct handles; an exclusive one must wait for both.
  const HANDLE first =
      api.CreateFileA(kUsbPath, readWrite, shareBoth, nullptr, OPEN_EXISTING, 0, nullptr);
  const HANDLE second =
      api.CreateFileA(kUsbPath, readWrite, shareBoth, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_NE(first, second);
  EXPECT_EQ(api.CreateFileA(kUsbPath, readWrite, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(api.GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_TRUE(api.CloseHandle(first));
  EXPECT_TRUE(api.CloseHandle(second));
  EXPECT_FALSE(api.CloseHandle(second));
  EXPECT_EQ(api.GetLastError(), DWORD{ERROR_INVALID_HANDLE});

  const HANDLE alone = api.CreateFileA(kUsbPath, readWrite, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(alone, INVALID_HANDLE_VALUE);
  EXPECT_NE(alone, first);  // a closed handle's value is not handed out again
  EXPECT_EQ(api.CreateFileA(kUsbPath, readWrite, shareBoth, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(api.GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  api.CloseHandle(alone);
  EXPECT_EQ(api.OpenHandles(), 0u);
}

TEST(EmulatedWinApi, DetailAsksForTheSizeFieldOfThisProcess) {
  EmulatedStack stack;
  auto& api = stack.api;
  const HDEVINFO list = api.SetupDiGetClassDevsA(&DiskInterfaceClass(), nullptr, nullptr,
                                                 DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(list, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof(data) - 1;
  EXPECT_FALSE(api.SetupDiEnumDeviceInterfaces(list, nullptr, &DiskInterfaceClass(), 0, &data));
  EXPECT_EQ(api.GetLastError(), DWORD{ERROR_INVALID_USER_BUFFER});
  data.cbSize = sizeof(data);
  ASSERT_TRUE(api.SetupDiEnumDeviceInterfaces(list, nullptr, &DiskInterfaceClass(), 0, &data));

  alignas(8) std::array<char, 1024> block{};
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.data());
  for (const DWORD wrong : {DWORD{4}, DWORD{sizeof(void*) == 4 ? 8 : 5}, DWORD{1024}}) {
    detail->cbSize = wrong;
    EXPECT_FALSE(api.SetupDiGetDeviceInterfaceDetailA(list, &data, detail, 1024, nullptr, nullptr));
    EXPECT_EQ(api.GetLastError(), DWORD{ERROR_INVALID_USER_BUFFER});
  }
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  ASSERT_TRUE(api.SetupDiGetDeviceInterfaceDetailA(list, &data, detail, 1024, nullptr, nullptr));
  EXPECT_STREQ(detail->DevicePath, kUsbPath);
  EXPECT_TRUE(api.SetupDiDestroyDeviceInfoList(list));
  EXPECT_FALSE(api.SetupDiDestroyDeviceInfoList(list));
}

}  // namespace
}  // namespace corvane::device::windows::testing
