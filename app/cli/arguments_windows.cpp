#include <windows.h>
#include <shellapi.h>

#include "app/cli/arguments.h"
#include "device/windows/wide_text.h"

namespace corvane::app::cli {

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  // A caller that hands its own argv (not the process's) keeps it.
  if (wide == nullptr || count != argc) {
    if (wide != nullptr) LocalFree(wide);
    return {argv, argv + argc};
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(device::windows::Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

}  // namespace corvane::app::cli
