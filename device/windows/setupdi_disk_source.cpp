#include "device/windows/setupdi_disk_source.h"

#include <cstring>
#include <string>

namespace corvane::device::windows {
namespace {

// The sizes SetupDi checks in the size fields: on 32-bit x86 setupapi packs its records to 1 byte,
// so the fixed part of the detail record is the 4-byte size and one character (5); on x64 the
// natural alignment makes it 8.
#if defined(_WIN64)
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8);
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32);
#else
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5);
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28);
#endif
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == sizeof(DWORD));
static_assert((DIGCF_PRESENT | DIGCF_DEVICEINTERFACE) == 0x12);
static_assert(GPTR == 0x40);

// Releases the class list and the detail block on every way out.
class EnumerationResources {
 public:
  EnumerationResources(WinApi& api, HDEVINFO list) : api_(api), list_(list) {}
  ~EnumerationResources() {
    if (detail_ != nullptr) api_.GlobalFree(detail_);
    api_.SetupDiDestroyDeviceInfoList(list_);
  }
  EnumerationResources(const EnumerationResources&) = delete;
  EnumerationResources& operator=(const EnumerationResources&) = delete;

  HGLOBAL AllocateDetail() {
    detail_ = api_.GlobalAlloc(kInterfaceDetailAllocFlags, kInterfaceDetailBlockSize);
    return detail_;
  }

 private:
  WinApi& api_;
  HDEVINFO list_;
  HGLOBAL detail_ = nullptr;
};

}  // namespace

bool SetupDiDiskSource::ListDiskInterfaces(std::vector<DiskInterface>& interfaces) {
  interfaces.clear();
  const HDEVINFO list = api_.SetupDiGetClassDevsA(&DiskInterfaceClass(), nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (list == INVALID_HANDLE_VALUE) return false;
  EnumerationResources resources(api_, list);

  // GPTR memory is fixed, so the handle is the block's address.
  auto* const detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(resources.AllocateDetail());
  if (detail == nullptr) return false;  // no memory: treated like a list that cannot be had
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  constexpr std::size_t kPathRoom =
      kInterfaceDetailBlockSize - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    if (!api_.SetupDiEnumDeviceInterfaces(list, nullptr, &DiskInterfaceClass(), index, &data)) {
      break;  // the end of the list (or an error, which ends it the same way)
    }
    if (!api_.SetupDiGetDeviceInterfaceDetailA(
            list, &data, detail, static_cast<DWORD>(kInterfaceDetailBlockSize), nullptr, nullptr)) {
      interfaces.push_back(DiskInterface{std::nullopt});
      break;
    }
    // Windows ends the path with a NUL; the bound only matters for a path that filled the room.
    const char* const text = detail->DevicePath;
    interfaces.push_back(DiskInterface{std::string(text, strnlen(text, kPathRoom))});
  }
  return true;
}

}  // namespace corvane::device::windows
