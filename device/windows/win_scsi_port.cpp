#include "device/windows/win_scsi_port.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace corvane::device::windows {

// The record as Windows defines it: 44 bytes with a 4-byte DataBuffer in a 32-bit process, 56 in a
// 64-bit one (the pointer grows to 8 bytes and is aligned to 8, and the record with it).
#if defined(_WIN64)
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
static_assert(kSenseInfoOffset == 64);
#else
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 28);
static_assert(kSenseInfoOffset == 48);
#endif
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn) == 8);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == 16);
static_assert(kSenseInfoOffset >= sizeof(SCSI_PASS_THROUGH_DIRECT));
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == 0x4D014);

SCSI_PASS_THROUGH_DIRECT* BuildPassThroughRecord(const ScsiRequest& request) {
  if (request.record.size() < sizeof(SCSI_PASS_THROUGH_DIRECT)) return nullptr;
  if (request.cdb.empty() || request.cdb.size() > sizeof(SCSI_PASS_THROUGH_DIRECT::Cdb)) {
    return nullptr;
  }
  if (request.data.size() > std::numeric_limits<ULONG>::max()) return nullptr;

  std::memset(request.record.data(), 0, sizeof(SCSI_PASS_THROUGH_DIRECT));
  auto* const record = reinterpret_cast<SCSI_PASS_THROUGH_DIRECT*>(request.record.data());
  record->Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
  record->ScsiStatus = 0;
  record->PathId = 0;
  record->TargetId = kPassThroughTargetId;
  record->Lun = 0;
  record->CdbLength = static_cast<UCHAR>(request.cdb.size());
  record->SenseInfoLength = 0;
  // Data-in also when nothing moves: the bridge's no-data commands are sent as reads.
  record->DataIn =
      request.direction == DataDirection::In ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT;
  record->DataTransferLength = static_cast<ULONG>(request.data.size());
  record->TimeOutValue = request.timeoutSeconds;
  record->DataBuffer = request.data.empty() ? nullptr : request.data.data();
  record->SenseInfoOffset = static_cast<ULONG>(kSenseInfoOffset);
  std::memcpy(record->Cdb, request.cdb.data(), request.cdb.size());
  return record;
}

ScsiOutcome WinScsiPort::Execute(std::string_view path, const ScsiRequest& request) {
  ScsiOutcome outcome;
  // A request that no record can carry never touches the device.
  SCSI_PASS_THROUGH_DIRECT* const record = BuildPassThroughRecord(request);
  if (record == nullptr) {
    outcome.platformError = ERROR_INVALID_PARAMETER;
    return outcome;
  }

  // Data-in shares the device with other readers and writers; data-out (which may end up in
  // flash) wants it alone, and Windows then refuses the open while anyone else holds it.
  const DWORD share =
      request.openMode == OpenMode::Shared ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : 0;
  const std::string fileName(path);  // Windows wants the path NUL-terminated
  const HANDLE device = api_.CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, share,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    outcome.platformError = api_.GetLastError();
    outcome.accessDenied = outcome.platformError == ERROR_ACCESS_DENIED;
    return outcome;
  }
  outcome.opened = true;

  // Deliberate: DeviceIoControl leaves the last error alone when it succeeds, and the success
  // rule reads the last error after the request; a code left by an earlier call (CreateFileA may
  // leave one on success) would otherwise fail a good request.
  api_.SetLastError(0);
  DWORD returned = 0;
  const BOOL result = api_.DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, record,
                                           sizeof(SCSI_PASS_THROUGH_DIRECT), record,
                                           sizeof(SCSI_PASS_THROUGH_DIRECT), &returned, nullptr);
  const DWORD lastError = api_.GetLastError();

  outcome.carriedOut = result != FALSE;
  outcome.platformError = lastError;
  outcome.scsiStatus = record->ScsiStatus;
  outcome.transferred = record->DataTransferLength;
  api_.CloseHandle(device);
  return outcome;
}

}  // namespace corvane::device::windows
