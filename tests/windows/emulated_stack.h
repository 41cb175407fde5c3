// The Windows backend over the emulated storage stack, with a scripted device behind it, for the
// tests that check what the backend hands to Windows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device/platform.h"
#include "device/windows/emulated_win_api.h"
#include "device/windows/setupdi_disk_source.h"
#include "device/windows/win_host_services.h"
#include "device/windows/win_scsi_port.h"

namespace corvane::device::windows::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr char kUsbPath[] =
    "\\\\?\\usbstor#disk&ven_corvane&prod_kts260_nvme&rev_0108#3c9f00000000&0#"
    "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
inline constexpr char kInnerPath[] = "inner/usbstor/0";

// The device behind the emulated stack: notes every request as it arrived and answers as told.
class ScriptedDevice : public ScsiPort {
 public:
  struct Seen {
    std::string path;
    Bytes cdb;
    DataDirection direction = DataDirection::In;
    Bytes data;  // the data phase as the device saw it (data-out: what was sent)
    const void* dataAddress = nullptr;
    std::uint32_t timeoutSeconds = 0;
    OpenMode openMode = OpenMode::Shared;
  };

  ScsiOutcome reply{true, true, 0, 0, 0, false};
  bool transferredIsLength = true;  // report the whole data phase as moved
  Bytes answer;                     // written into the start of a data-in phase
  std::vector<Seen> seen;

  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
    seen.push_back({std::string(path), Bytes(request.cdb.begin(), request.cdb.end()),
                    request.direction, Bytes(request.data.begin(), request.data.end()),
                    request.data.empty() ? nullptr : request.data.data(), request.timeoutSeconds,
                    request.openMode});
    if (request.direction == DataDirection::In) {
      std::copy_n(answer.begin(), std::min(answer.size(), request.data.size()),
                  request.data.begin());
    }
    ScsiOutcome outcome = reply;
    if (transferredIsLength && outcome.carriedOut) {
      outcome.transferred = static_cast<std::uint32_t>(request.data.size());
    }
    return outcome;
  }
};

// Leaves an error code behind where Windows may: after a successful open, after a request.
class LeavingErrorsApi : public EmulatedWinApi {
 public:
  using EmulatedWinApi::EmulatedWinApi;
  DWORD afterOpen = 0;
  DWORD afterRequest = 0;

  HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE templateFile) override {
    const HANDLE handle = EmulatedWinApi::CreateFileA(fileName, access, share, security,
                                                      disposition, flags, templateFile);
    if (handle != INVALID_HANDLE_VALUE && afterOpen != 0) SetLastError(afterOpen);
    return handle;
  }
  BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                       DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) override {
    const BOOL result = EmulatedWinApi::DeviceIoControl(device, code, in, inSize, out, outSize,
                                                        returned, overlapped);
    if (afterRequest != 0) SetLastError(afterRequest);
    return result;
  }
};

// One present disk (kUsbPath, reaching kInnerPath) and the backend over it.
struct EmulatedStack {
  ScriptedDevice device;
  std::vector<EmulatedDisk> disks{{kUsbPath, std::string(kInnerPath), false}};
  LeavingErrorsApi api{[this] { return disks; }, device};
  WinScsiPort port{api};
  SetupDiDiskSource source{api};
  WinHostServices host{api};

  Platform Get() { return Platform{&port, &source, &host}; }
};

inline bool OnBoundary(const void* p) { return reinterpret_cast<std::uintptr_t>(p) % 8192 == 0; }

inline SCSI_PASS_THROUGH_DIRECT DecodeRecord(const Bytes& raw) {
  SCSI_PASS_THROUGH_DIRECT record{};
  std::memcpy(&record, raw.data(), std::min(raw.size(), sizeof record));
  return record;
}

}  // namespace corvane::device::windows::testing
