// corvane-update-e2e.exe: the Windows command line's own code for the end-to-end guest, where Wine
// runs it against the guest kernel's sg nodes. A test build carries placeholder images, and the CLI
// rightly refuses to write those into a real adaptor. The adaptors in the guest are the bridge
// simulator behind a USB gadget on dummy_hcd, a host controller that exists only in software, so
// this port says "simulated" - and lets a data-out command through only when Wine resolves the path
// to an sg node whose kernel device lies below dummy_hcd. On Windows itself no path does (there is
// no Wine to ask and no such controller), so this program can never write a placeholder image into
// a real adaptor. Everything else (WinScsiPort, SetupDiDiskSource, the CLI) is the shipped code.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "tools/e2e_probes/virtual_bus_cli.h"

namespace {

// What Wine's GetFinalPathNameByHandle gives for a device node and for the kernel's device folder
// (every symbolic link followed: the dosdevices entry, /sys/class/scsi_generic/sgN).
constexpr std::string_view kSgNode = "\\\\?\\Z:\\dev\\sg";
constexpr std::string_view kVirtualController = "\\\\?\\Z:\\sys\\devices\\platform\\dummy_hcd.";

bool RunsUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The file a path leads to, as Wine resolves it; opened without access, so no command is sent.
std::optional<std::string> FinalPath(const std::string& path, DWORD flags) {
  const HANDLE file =
      ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  char name[1024];
  const DWORD length = ::GetFinalPathNameByHandleA(file, name, sizeof name, 0);
  ::CloseHandle(file);
  if (length == 0 || length >= sizeof name) return std::nullopt;
  return std::string(name, length);
}

bool LeadsToVirtualBus(std::string_view path) {
  if (!RunsUnderWine()) return false;
  const std::optional<std::string> node = FinalPath(std::string(path), 0);
  if (!node || !node->starts_with(kSgNode)) return false;
  const std::string number = node->substr(kSgNode.size());
  if (number.empty() || number.size() > 5 ||
      !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const std::optional<std::string> device =
      FinalPath("Z:\\sys\\class\\scsi_generic\\sg" + number, FILE_FLAG_BACKUP_SEMANTICS);
  return device && device->starts_with(kVirtualController);
}

}  // namespace

int main(int argc, char** argv) {
  return corvane::e2e::RunGuardedCommandLine<LeadsToVirtualBus>(argc, argv);
}
