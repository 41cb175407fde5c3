#include "device/windows/win_api.h"

// The GUIDs are defined (not only declared) in this one file.
#include <initguid.h>
// clang-format off
#include <winioctl.h>
#include <usbiodef.h>
// clang-format on

namespace corvane::device::windows {

const GUID& DiskInterfaceClass() { return GUID_DEVINTERFACE_DISK; }
const GUID& UsbDeviceInterfaceClass() { return GUID_DEVINTERFACE_USB_DEVICE; }

WinApi& SystemApi() {
  static SystemWinApi api;
  return api;
}

HANDLE SystemWinApi::CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                 LPSECURITY_ATTRIBUTES securityAttributes,
                                 DWORD creationDisposition, DWORD flagsAndAttributes,
                                 HANDLE templateFile) {
  return ::CreateFileA(fileName, desiredAccess, shareMode, securityAttributes, creationDisposition,
                       flagsAndAttributes, templateFile);
}

BOOL SystemWinApi::DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer,
                                   DWORD inBufferSize, LPVOID outBuffer, DWORD outBufferSize,
                                   LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  return ::DeviceIoControl(device, ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize,
                           bytesReturned, overlapped);
}

DWORD SystemWinApi::GetLastError() { return ::GetLastError(); }
void SystemWinApi::SetLastError(DWORD errorCode) { ::SetLastError(errorCode); }
BOOL SystemWinApi::CloseHandle(HANDLE object) { return ::CloseHandle(object); }
void SystemWinApi::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }
void SystemWinApi::OutputDebugStringA(LPCSTR outputString) { ::OutputDebugStringA(outputString); }
HGLOBAL SystemWinApi::GlobalAlloc(UINT flags, SIZE_T bytes) { return ::GlobalAlloc(flags, bytes); }
HGLOBAL SystemWinApi::GlobalFree(HGLOBAL memory) { return ::GlobalFree(memory); }
BOOL SystemWinApi::GetVersionExA(LPOSVERSIONINFOA versionInformation) {
  return ::GetVersionExA(versionInformation);
}

EXECUTION_STATE SystemWinApi::SetThreadExecutionState(EXECUTION_STATE flags) {
  return ::SetThreadExecutionState(flags);
}

MMRESULT SystemWinApi::timeBeginPeriod(UINT period) { return ::timeBeginPeriod(period); }
MMRESULT SystemWinApi::timeEndPeriod(UINT period) { return ::timeEndPeriod(period); }

HDEVINFO SystemWinApi::SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                            DWORD flags) {
  return ::SetupDiGetClassDevsA(classGuid, enumerator, parent, flags);
}

BOOL SystemWinApi::SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet,
                                               PSP_DEVINFO_DATA deviceInfoData,
                                               const GUID* interfaceClassGuid, DWORD memberIndex,
                                               PSP_DEVICE_INTERFACE_DATA deviceInterfaceData) {
  return ::SetupDiEnumDeviceInterfaces(deviceInfoSet, deviceInfoData, interfaceClassGuid,
                                       memberIndex, deviceInterfaceData);
}

BOOL SystemWinApi::SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA deviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A deviceInterfaceDetailData,
    DWORD deviceInterfaceDetailDataSize, PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfoData) {
  return ::SetupDiGetDeviceInterfaceDetailA(
      deviceInfoSet, deviceInterfaceData, deviceInterfaceDetailData, deviceInterfaceDetailDataSize,
      requiredSize, deviceInfoData);
}

BOOL SystemWinApi::SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) {
  return ::SetupDiDestroyDeviceInfoList(deviceInfoSet);
}

int SystemWinApi::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return ::MessageBoxA(owner, text, caption, type);
}

HWND SystemWinApi::FindWindowA(LPCSTR className, LPCSTR windowName) {
  return ::FindWindowA(className, windowName);
}

BOOL SystemWinApi::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(window, message, wParam, lParam);
}

HDEVNOTIFY SystemWinApi::RegisterDeviceNotificationA(HANDLE recipient, LPVOID notificationFilter,
                                                     DWORD flags) {
  return ::RegisterDeviceNotificationA(recipient, notificationFilter, flags);
}

BOOL SystemWinApi::UnregisterDeviceNotification(HDEVNOTIFY handle) {
  return ::UnregisterDeviceNotification(handle);
}

BOOL SystemWinApi::ShutdownBlockReasonCreate(HWND window, LPCWSTR reason) {
  return ::ShutdownBlockReasonCreate(window, reason);
}

BOOL SystemWinApi::ShutdownBlockReasonDestroy(HWND window) {
  return ::ShutdownBlockReasonDestroy(window);
}

}  // namespace corvane::device::windows
