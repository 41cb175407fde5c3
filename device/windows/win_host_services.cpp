#include "device/windows/win_host_services.h"

#include <string>

namespace corvane::device::windows {

void WinHostServices::SleepMs(std::uint32_t ms) { api_.Sleep(ms); }

void WinHostServices::DebugOutput(std::string_view text) {
  const std::string terminated(text);  // Windows reads up to the NUL
  api_.OutputDebugStringA(terminated.c_str());
}

void WinHostServices::ShowErrorBox(std::string_view text, std::string_view caption) {
  const std::string terminatedText(text);
  const std::string terminatedCaption(caption);
  api_.MessageBoxA(nullptr, terminatedText.c_str(), terminatedCaption.c_str(),
                   MB_OK | MB_ICONERROR);
}

}  // namespace corvane::device::windows
