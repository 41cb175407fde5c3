// An emulated Windows storage stack under the WinApi seam: the storage and SetupDi calls answer the
// way Windows answers them, and every pass-through request that Windows would carry out is decoded
// and handed to an inner, portable ScsiPort (in the demo and the tests: the simulator's). So the
// Windows program's demo runs the real backend down to the API boundary, and the tests can check
// every byte the backend hands to Windows.
//
// The desktop calls (Sleep, debug output, message boxes, windows, notifications, the version, the
// timer period, the execution state, the shutdown block reasons) are recorded and answered as
// configured; none of them waits, shows anything or changes the machine's power or timer settings.
//
// Used from one thread (the one that makes the device calls), like the real storage calls of the
// window thread; it holds no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device/scsi_port.h"
#include "device/windows/emulated_disk_list.h"
#include "device/windows/win_api.h"

namespace corvane::device::windows {

class EmulatedWinApi : public WinApi {
 public:
  struct CreateFileCall {
    std::string path;
    DWORD access = 0;
    DWORD share = 0;
    DWORD disposition = 0;
    DWORD flags = 0;
    bool securityAttributes = false;  // a non-null pointer was passed
    bool templateFile = false;
    HANDLE result = INVALID_HANDLE_VALUE;
  };
  struct IoControlCall {
    HANDLE device = nullptr;
    DWORD code = 0;
    DWORD inSize = 0;
    DWORD outSize = 0;
    bool sameBuffer = false;  // the record was both the input and the output
    bool overlapped = false;
    std::vector<std::uint8_t> record;  // sizeof(SCSI_PASS_THROUGH_DIRECT) bytes as handed over
    const void* recordAddress = nullptr;
    const void* dataBuffer = nullptr;  // the record's DataBuffer
    BOOL result = FALSE;
    DWORD error = 0;  // the last error after the call
  };
  struct DetailCall {
    DWORD index = 0;      // member index of the interface asked about
    DWORD sizeField = 0;  // the detail record's cbSize as handed over
    DWORD bufferSize = 0;
    bool requiredSize = false;  // a required-size pointer was passed
    bool deviceInfo = false;    // a device-info pointer was passed
  };
  struct ClassListCall {
    GUID classGuid{};
    bool enumerator = false;
    bool parent = false;
    DWORD flags = 0;
    bool granted = false;
  };
  struct VersionCall {
    DWORD sizeField = 0;
    bool zeroed = false;  // every byte behind the size field was 0
  };
  struct MessageBoxCall {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
  };
  struct WindowSearch {
    std::string className;
    std::string title;
  };
  struct PostedMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
  };
  struct NotificationRegistration {
    HANDLE recipient = nullptr;
    std::vector<std::uint8_t> filter;  // dbcc_size bytes of the filter as handed over
    DWORD flags = 0;
  };

  struct TimerPeriodCall {
    bool begin = false;  // timeBeginPeriod; else timeEndPeriod
    UINT period = 0;
    MMRESULT result = TIMERR_NOERROR;
  };
  struct ShutdownReasonCall {
    HWND window = nullptr;
    bool create = false;  // ShutdownBlockReasonCreate; else ...Destroy
    std::wstring reason;
    BOOL result = FALSE;
  };

  struct CallLog {
    std::vector<CreateFileCall> opens;
    std::vector<IoControlCall> requests;
    std::vector<HANDLE> closes;
    std::vector<ClassListCall> classLists;
    std::vector<DWORD> enumIndexes;
    std::vector<DetailCall> details;
    std::vector<std::pair<UINT, SIZE_T>> globalAllocs;  // flags, size
    std::vector<DWORD> sleeps;
    std::vector<std::string> debugTexts;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<WindowSearch> windowSearches;
    std::vector<PostedMessage> posted;
    std::vector<NotificationRegistration> registrations;
    std::vector<HDEVNOTIFY> unregistrations;
    std::vector<VersionCall> versionCalls;
    std::vector<EXECUTION_STATE> executionStates;  // the flags of each SetThreadExecutionState
    std::vector<TimerPeriodCall> timerPeriods;
    std::vector<ShutdownReasonCall> shutdownReasons;
  };

  struct TopLevelWindow {
    std::string className;
    std::string title;
    HWND handle = nullptr;
  };

  // What the emulated system answers beyond the storage stack, and failures to inject.
  struct Answers {
    bool classListFails = false;         // SetupDiGetClassDevsA gives INVALID_HANDLE_VALUE
    std::optional<DWORD> detailFailsAt;  // the detail of this member index cannot be read
    // What GetVersionExA reports: 6.2 is what Windows 8 and later tell a program whose manifest
    // names no supported systems.
    DWORD majorVersion = 6;
    DWORD minorVersion = 2;
    DWORD buildNumber = 9200;
    bool extendedVersionFails = false;    // GetVersionExA refuses the 156-byte record
    bool versionFails = false;            // ... and the 148-byte one
    std::vector<TopLevelWindow> windows;  // what FindWindowA can find
    std::function<void(DWORD)> onSleep;   // e.g. advance a virtual clock
    bool timerPeriodRefused = false;      // timeBeginPeriod answers TIMERR_NOCANDO
    bool executionStateFails = false;     // SetThreadExecutionState answers NULL
    bool shutdownBlockFails = false;      // ShutdownBlockReasonCreate answers FALSE
    // Every call is logged for the tests; a demo or a long watch turns the log off so that it
    // does not grow for as long as the program runs.
    bool keepLog = true;
  };

  EmulatedWinApi(EmulatedDiskLister disks, ScsiPort& inner);

  Answers& Configure() { return answers_; }
  const CallLog& Log() const { return log_; }
  void ClearLog() { log_ = CallLog{}; }
  std::size_t OpenHandles() const { return handles_.size(); }
  std::size_t OpenClassLists() const { return classLists_.size(); }
  std::size_t OutstandingGlobalBlocks() const { return globalBlocks_; }
  // Periods raised by timeBeginPeriod and not yet ended, counted over all periods.
  int RaisedTimerPeriods() const;
  // The thread execution state as the last continuous SetThreadExecutionState left it.
  EXECUTION_STATE ExecutionState() const { return executionState_; }
  // The windows with a shutdown block reason, and the reason.
  const std::map<HWND, std::wstring>& ShutdownReasons() const { return shutdownReasons_; }

  HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                     LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                     DWORD flagsAndAttributes, HANDLE templateFile) override;
  BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                       LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                       LPOVERLAPPED overlapped) override;
  DWORD GetLastError() override { return lastError_; }
  void SetLastError(DWORD errorCode) override { lastError_ = errorCode; }
  BOOL CloseHandle(HANDLE object) override;
  void Sleep(DWORD milliseconds) override;
  void OutputDebugStringA(LPCSTR outputString) override;
  HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) override;
  HGLOBAL GlobalFree(HGLOBAL memory) override;
  BOOL GetVersionExA(LPOSVERSIONINFOA versionInformation) override;
  EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags) override;
  MMRESULT timeBeginPeriod(UINT period) override;
  MMRESULT timeEndPeriod(UINT period) override;
  HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                DWORD flags) override;
  BOOL SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData,
                                   const GUID* interfaceClassGuid, DWORD memberIndex,
                                   PSP_DEVICE_INTERFACE_DATA deviceInterfaceData) override;
  BOOL SetupDiGetDeviceInterfaceDetailA(
      HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA deviceInterfaceData,
      PSP_DEVICE_INTERFACE_DETAIL_DATA_A deviceInterfaceDetailData,
      DWORD deviceInterfaceDetailDataSize, PDWORD requiredSize,
      PSP_DEVINFO_DATA deviceInfoData) override;
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) override;
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) override;
  HWND FindWindowA(LPCSTR className, LPCSTR windowName) override;
  BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID notificationFilter,
                                         DWORD flags) override;
  BOOL UnregisterDeviceNotification(HDEVNOTIFY handle) override;
  BOOL ShutdownBlockReasonCreate(HWND window, LPCWSTR reason) override;
  BOOL ShutdownBlockReasonDestroy(HWND window) override;

 private:
  struct OpenDisk {
    std::string innerPath;
    DWORD access = 0;
    DWORD share = 0;
  };
  BOOL Fail(DWORD error);
  BOOL PassThrough(const OpenDisk& disk, void* inBuffer, DWORD inSize, void* outBuffer,
                   DWORD outSize, LPDWORD bytesReturned);
  bool SharingAllows(const std::string& innerPath, DWORD access, DWORD share) const;

  EmulatedDiskLister disks_;
  ScsiPort& inner_;
  Answers answers_;
  CallLog log_;
  DWORD lastError_ = 0;
  std::uintptr_t handlesGiven_ = 0;  // every handle is new, none is handed out twice
  std::map<std::uintptr_t, OpenDisk> handles_;
  std::map<std::uintptr_t, std::vector<EmulatedDisk>> classLists_;  // the listing when taken
  std::set<std::uintptr_t> registrations_;
  std::size_t globalBlocks_ = 0;
  std::map<UINT, int> timerPeriods_;  // period -> begun and not yet ended
  EXECUTION_STATE executionState_ = 0;
  std::map<HWND, std::wstring> shutdownReasons_;
};

}  // namespace corvane::device::windows
