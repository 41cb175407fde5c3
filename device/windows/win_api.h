// The Windows calls the device backend makes, behind one seam, so that everything above it (the
// record it fills, the flags it passes, the order of its calls) can be checked byte for byte
// without a device, and so that the demo can put an emulated storage stack underneath.
#pragma once

// windows.h before the headers that build on its types.
#include <windows.h>
// clang-format off
#include <setupapi.h>
#include <dbt.h>
#include <mmsystem.h>
// clang-format on

namespace corvane::device::windows {

// Each member has the signature of the Windows function of the same name.
class WinApi {
 public:
  virtual ~WinApi() = default;

  // kernel32
  virtual HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                             LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                             DWORD flagsAndAttributes, HANDLE templateFile) = 0;
  virtual BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer,
                               DWORD inBufferSize, LPVOID outBuffer, DWORD outBufferSize,
                               LPDWORD bytesReturned, LPOVERLAPPED overlapped) = 0;
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD errorCode) = 0;
  virtual BOOL CloseHandle(HANDLE object) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  virtual void OutputDebugStringA(LPCSTR outputString) = 0;
  virtual HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) = 0;
  virtual HGLOBAL GlobalFree(HGLOBAL memory) = 0;
  virtual BOOL GetVersionExA(LPOSVERSIONINFOA versionInformation) = 0;
  virtual EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags) = 0;

  // winmm
  virtual MMRESULT timeBeginPeriod(UINT period) = 0;
  virtual MMRESULT timeEndPeriod(UINT period) = 0;

  // setupapi
  virtual HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                        DWORD flags) = 0;
  virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData,
                                           const GUID* interfaceClassGuid, DWORD memberIndex,
                                           PSP_DEVICE_INTERFACE_DATA deviceInterfaceData) = 0;
  virtual BOOL SetupDiGetDeviceInterfaceDetailA(
      HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA deviceInterfaceData,
      PSP_DEVICE_INTERFACE_DETAIL_DATA_A deviceInterfaceDetailData,
      DWORD deviceInterfaceDetailDataSize, PDWORD requiredSize,
      PSP_DEVINFO_DATA deviceInfoData) = 0;
  virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) = 0;

  // user32
  virtual int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) = 0;
  virtual HWND FindWindowA(LPCSTR className, LPCSTR windowName) = 0;
  virtual BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID notificationFilter,
                                                 DWORD flags) = 0;
  virtual BOOL UnregisterDeviceNotification(HDEVNOTIFY handle) = 0;
  virtual BOOL ShutdownBlockReasonCreate(HWND window, LPCWSTR reason) = 0;
  virtual BOOL ShutdownBlockReasonDestroy(HWND window) = 0;
};

// Forwards every call to the system's own function.
class SystemWinApi : public WinApi {
 public:
  HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                     LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                     DWORD flagsAndAttributes, HANDLE templateFile) override;
  BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                       LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                       LPOVERLAPPED overlapped) override;
  DWORD GetLastError() override;
  void SetLastError(DWORD errorCode) override;
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
};

// One process-wide SystemWinApi (it holds no state).
WinApi& SystemApi();

// The interface classes the backend asks for: disks, and USB devices for the notifications.
const GUID& DiskInterfaceClass();       // GUID_DEVINTERFACE_DISK
const GUID& UsbDeviceInterfaceClass();  // GUID_DEVINTERFACE_USB_DEVICE

}  // namespace corvane::device::windows
