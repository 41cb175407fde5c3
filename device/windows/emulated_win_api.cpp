// The storage and SetupDi calls of the emulated Windows.
#include "device/windows/emulated_win_api.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "device/aligned_buffer.h"
#include "device/windows/win_scsi_port.h"

namespace corvane::device::windows {
namespace {

constexpr std::size_t kInnerRecordBlockSize = 1068;  // what the portable transport hands a port
constexpr std::size_t kMaxCdbLength = sizeof(SCSI_PASS_THROUGH_DIRECT::Cdb);
// The longest time-out the storage stack takes for a pass-through request: 30 hours.
constexpr ULONG kMaxTimeOutValue = 108000;

constexpr std::uintptr_t kFileHandleBase = 0x1000;  // kernel handles are multiples of 4
constexpr std::uintptr_t kClassListBase = 0x00D10000;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows resolves interface paths (object names under \??\) without regard to case.
bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

}  // namespace

EmulatedWinApi::EmulatedWinApi(EmulatedDiskLister disks, ScsiPort& inner)
    : disks_(std::move(disks)), inner_(inner) {}

BOOL EmulatedWinApi::Fail(DWORD error) {
  lastError_ = error;
  return FALSE;
}

bool EmulatedWinApi::SharingAllows(const std::string& innerPath, DWORD access, DWORD share) const {
  // Each side's access must be shared by every other opener of the same disk.
  const auto allows = [](DWORD sharing, DWORD wanted) {
    return ((wanted & GENERIC_READ) == 0 || (sharing & FILE_SHARE_READ) != 0) &&
           ((wanted & GENERIC_WRITE) == 0 || (sharing & FILE_SHARE_WRITE) != 0);
  };
  for (const auto& [handle, open] : handles_) {
    if (open.innerPath != innerPath) continue;
    if (!allows(open.share, access) || !allows(share, open.access)) return false;
  }
  return true;
}

HANDLE EmulatedWinApi::CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                   LPSECURITY_ATTRIBUTES securityAttributes,
                                   DWORD creationDisposition, DWORD flagsAndAttributes,
                                   HANDLE templateFile) {
  CreateFileCall call{fileName != nullptr ? fileName : "",
                      desiredAccess,
                      shareMode,
                      creationDisposition,
                      flagsAndAttributes,
                      securityAttributes != nullptr,
                      templateFile != nullptr,
                      INVALID_HANDLE_VALUE};
  const auto refuse = [&](DWORD error) {
    lastError_ = error;
    if (answers_.keepLog) log_.opens.push_back(call);
    return INVALID_HANDLE_VALUE;
  };
  if (fileName == nullptr) return refuse(ERROR_INVALID_PARAMETER);
  // A device can only be opened as it is; it can be neither created nor truncated.
  if (creationDisposition != OPEN_EXISTING) return refuse(ERROR_INVALID_PARAMETER);

  const std::vector<EmulatedDisk> present = disks_();
  const auto disk = std::find_if(present.begin(), present.end(), [&](const EmulatedDisk& d) {
    return SameIgnoringCase(d.interfacePath, fileName);
  });
  if (disk == present.end() || !disk->innerPath) return refuse(ERROR_FILE_NOT_FOUND);
  if (disk->accessDenied) return refuse(ERROR_ACCESS_DENIED);
  if (!SharingAllows(*disk->innerPath, desiredAccess, shareMode)) {
    return refuse(ERROR_SHARING_VIOLATION);
  }

  const std::uintptr_t key = kFileHandleBase + 4 * handlesGiven_++;
  handles_.emplace(key, OpenDisk{*disk->innerPath, desiredAccess, shareMode});
  call.result = reinterpret_cast<HANDLE>(key);
  if (answers_.keepLog) log_.opens.push_back(call);
  return call.result;
}

BOOL EmulatedWinApi::CloseHandle(HANDLE object) {
  if (answers_.keepLog) log_.closes.push_back(object);
  if (handles_.erase(reinterpret_cast<std::uintptr_t>(object)) == 0) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  return TRUE;
}

BOOL EmulatedWinApi::DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer,
                                     DWORD inBufferSize, LPVOID outBuffer, DWORD outBufferSize,
                                     LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  IoControlCall call;
  call.device = device;
  call.code = ioControlCode;
  call.inSize = inBufferSize;
  call.outSize = outBufferSize;
  call.sameBuffer = inBuffer != nullptr && inBuffer == outBuffer;
  call.overlapped = overlapped != nullptr;
  call.recordAddress = inBuffer;
  if (inBuffer != nullptr && inBufferSize >= sizeof(SCSI_PASS_THROUGH_DIRECT)) {
    const auto* bytes = static_cast<const std::uint8_t*>(inBuffer);
    call.record.assign(bytes, bytes + sizeof(SCSI_PASS_THROUGH_DIRECT));
    call.dataBuffer = static_cast<const SCSI_PASS_THROUGH_DIRECT*>(inBuffer)->DataBuffer;
  }

  BOOL result = FALSE;
  const auto open = handles_.find(reinterpret_cast<std::uintptr_t>(device));
  if (open == handles_.end()) {
    result = Fail(ERROR_INVALID_HANDLE);
  } else if (ioControlCode != IOCTL_SCSI_PASS_THROUGH_DIRECT) {
    result = Fail(ERROR_INVALID_FUNCTION);  // the disk knows no such request
  } else if ((open->second.access & (GENERIC_READ | GENERIC_WRITE)) !=
             (GENERIC_READ | GENERIC_WRITE)) {
    result = Fail(ERROR_ACCESS_DENIED);  // the request needs read and write access to the disk
  } else if (overlapped != nullptr || bytesReturned == nullptr) {
    // The handle was not opened for overlapped I/O; a synchronous call must get a count back.
    result = Fail(ERROR_INVALID_PARAMETER);
  } else {
    result =
        PassThrough(open->second, inBuffer, inBufferSize, outBuffer, outBufferSize, bytesReturned);
  }
  call.result = result;
  call.error = lastError_;
  if (answers_.keepLog) log_.requests.push_back(std::move(call));
  return result;
}

BOOL EmulatedWinApi::PassThrough(const OpenDisk& disk, void* inBuffer, DWORD inSize,
                                 void* outBuffer, DWORD outSize, LPDWORD bytesReturned) {
  constexpr DWORD kRecordSize = sizeof(SCSI_PASS_THROUGH_DIRECT);
  if (inBuffer == nullptr || outBuffer == nullptr || inSize < kRecordSize ||
      outSize < kRecordSize) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  SCSI_PASS_THROUGH_DIRECT record;
  std::memcpy(&record, inBuffer, kRecordSize);
  const bool senseOutside = record.SenseInfoLength != 0 &&
                            std::size_t{record.SenseInfoOffset} + record.SenseInfoLength > outSize;
  if (record.Length != kRecordSize || record.CdbLength == 0 || record.CdbLength > kMaxCdbLength ||
      record.DataIn > SCSI_IOCTL_DATA_UNSPECIFIED ||
      (record.DataTransferLength != 0 && record.DataBuffer == nullptr) ||
      record.TimeOutValue == 0 || record.TimeOutValue > kMaxTimeOutValue || senseOutside) {
    return Fail(ERROR_INVALID_PARAMETER);
  }

  AlignedBlock innerRecord(kInnerRecordBlockSize);
  ScsiRequest request;
  request.cdb = std::span<const std::uint8_t>(record.Cdb, record.CdbLength);
  request.direction = record.DataIn == SCSI_IOCTL_DATA_OUT ? DataDirection::Out : DataDirection::In;
  if (record.DataTransferLength != 0) {
    request.data = std::span<std::uint8_t>(static_cast<std::uint8_t*>(record.DataBuffer),
                                           record.DataTransferLength);
  }
  request.timeoutSeconds = record.TimeOutValue;
  request.openMode = disk.share == 0 ? OpenMode::Exclusive : OpenMode::Shared;
  request.record =
      std::span<std::uint8_t>(innerRecord.data(), innerRecord ? kInnerRecordBlockSize : 0);

  const ScsiOutcome outcome = inner_.Execute(disk.innerPath, request);
  if (!outcome.opened) {
    return Fail(outcome.platformError != 0 ? outcome.platformError : ERROR_DEVICE_NOT_CONNECTED);
  }
  if (!outcome.carriedOut || outcome.platformError != 0) {
    return Fail(outcome.platformError != 0 ? outcome.platformError : ERROR_IO_DEVICE);
  }
  // The request went through, whatever the device's status: a CHECK CONDITION is a success of
  // the call with ScsiStatus 2. Like Windows, a call that succeeds leaves the last error alone.
  record.ScsiStatus = outcome.scsiStatus;
  record.DataTransferLength = std::min<ULONG>(outcome.transferred, record.DataTransferLength);
  std::memcpy(outBuffer, &record, kRecordSize);
  *bytesReturned = kRecordSize;
  return TRUE;
}

HGLOBAL EmulatedWinApi::GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (answers_.keepLog) log_.globalAllocs.emplace_back(flags, bytes);
  const HGLOBAL block = ::GlobalAlloc(flags, bytes);
  if (block != nullptr) ++globalBlocks_;
  return block;
}

HGLOBAL EmulatedWinApi::GlobalFree(HGLOBAL memory) {
  const HGLOBAL result = ::GlobalFree(memory);
  if (memory != nullptr && result == nullptr && globalBlocks_ > 0) --globalBlocks_;
  return result;
}

HDEVINFO EmulatedWinApi::SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                              DWORD flags) {
  ClassListCall call;
  if (classGuid != nullptr) call.classGuid = *classGuid;
  call.enumerator = enumerator != nullptr;
  call.parent = parent != nullptr;
  call.flags = flags;
  // This stack knows the present interfaces of the disk class and nothing else.
  call.granted = !answers_.classListFails && classGuid != nullptr &&
                 SameGuid(*classGuid, DiskInterfaceClass()) && enumerator == nullptr &&
                 flags == (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (answers_.keepLog) log_.classLists.push_back(call);
  if (!call.granted) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  const std::uintptr_t key = kClassListBase + 0x10 * handlesGiven_++;
  classLists_.emplace(key, disks_());
  return reinterpret_cast<HDEVINFO>(key);
}

BOOL EmulatedWinApi::SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA,
                                                 const GUID* interfaceClassGuid, DWORD memberIndex,
                                                 PSP_DEVICE_INTERFACE_DATA deviceInterfaceData) {
  if (answers_.keepLog) log_.enumIndexes.push_back(memberIndex);
  const auto list = classLists_.find(reinterpret_cast<std::uintptr_t>(deviceInfoSet));
  if (list == classLists_.end()) return Fail(ERROR_INVALID_HANDLE);
  if (deviceInterfaceData == nullptr || interfaceClassGuid == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (deviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  if (!SameGuid(*interfaceClassGuid, DiskInterfaceClass()) || memberIndex >= list->second.size()) {
    return Fail(ERROR_NO_MORE_ITEMS);
  }
  deviceInterfaceData->InterfaceClassGuid = DiskInterfaceClass();
  deviceInterfaceData->Flags = SPINT_ACTIVE;
  deviceInterfaceData->Reserved = memberIndex + 1;  // opaque to callers; names the member here
  return TRUE;
}

BOOL EmulatedWinApi::SetupDiGetDeviceInterfaceDetailA(HDEVINFO deviceInfoSet,
                                                      PSP_DEVICE_INTERFACE_DATA deviceInterfaceData,
                                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                                      DWORD detailSize, PDWORD requiredSize,
                                                      PSP_DEVINFO_DATA deviceInfoData) {
  DetailCall call;
  call.bufferSize = detailSize;
  call.requiredSize = requiredSize != nullptr;
  call.deviceInfo = deviceInfoData != nullptr;
  if (detail != nullptr && detailSize >= sizeof(DWORD)) call.sizeField = detail->cbSize;
  if (deviceInterfaceData != nullptr && deviceInterfaceData->Reserved != 0) {
    call.index = static_cast<DWORD>(deviceInterfaceData->Reserved - 1);
  }
  if (answers_.keepLog) log_.details.push_back(call);

  const auto list = classLists_.find(reinterpret_cast<std::uintptr_t>(deviceInfoSet));
  if (list == classLists_.end()) return Fail(ERROR_INVALID_HANDLE);
  if (deviceInterfaceData == nullptr || deviceInterfaceData->Reserved == 0 ||
      call.index >= list->second.size()) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const EmulatedDisk& disk = list->second[call.index];
  const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                          disk.interfacePath.size() + 1);
  if (detail == nullptr) {
    if (requiredSize != nullptr) *requiredSize = needed;
    return Fail(detailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
  }
  // The size field must be the size of the fixed part of the record in this process's layout.
  if (detailSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) ||
      detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  if (!disk.innerPath || answers_.detailFailsAt == call.index) return Fail(ERROR_NOT_FOUND);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detailSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(detail->DevicePath, disk.interfacePath.c_str(), disk.interfacePath.size() + 1);
  return TRUE;
}

BOOL EmulatedWinApi::SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) {
  if (classLists_.erase(reinterpret_cast<std::uintptr_t>(deviceInfoSet)) == 0) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  return TRUE;
}

}  // namespace corvane::device::windows
