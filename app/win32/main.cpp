// corvane-update-tool.exe: the updater's window on Windows.
//   corvane-update-tool                        work on the attached adaptors
//   corvane-update-tool --simulate NAME        demo on a built-in virtual adaptor scenario
//   corvane-update-tool --simulate-file FILE   demo on a scenario file
// In demo mode F5 unplugs or re-plugs the first virtual adaptor (F6, F7, F8 the next ones).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/form_texts.h"
#include "app/win32/platform_glue.h"
#include "app/win32/ui_report.h"
#include "app/win32/updater_window.h"
#include "device/platform.h"
#include "sim/demo_session.h"

namespace {

using namespace corvane;
using namespace corvane::app::win32;

std::string Usage() {
  std::string text =
      "usage: corvane-update-tool [--simulate NAME | --simulate-file FILE]\n"
      "  Without options the tool works on the adaptors attached to this computer.\n"
      "  --simulate NAME       demo on a built-in virtual adaptor scenario\n"
      "  --simulate-file FILE  demo on a scenario file\n"
      "  In demo mode F5 unplugs or re-plugs the first virtual adaptor, F6 to F8 the next ones.\n"
      "Built-in scenarios:";
  for (const std::string& name : sim::BuiltInScenarioNames()) text += " " + name;
  return text + "\n";
}

// A window program has no console of its own: the text goes to the standard handle when the
// caller gave one (a redirection, or the console it was started from), else into a message box.
void Say(const std::string& text, bool error) {
  const DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
  DWORD written = 0;
  HANDLE out = ::GetStdHandle(which);
  if (out != nullptr && out != INVALID_HANDLE_VALUE &&
      ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    return;
  }
  if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console = ::CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool said = console != INVALID_HANDLE_VALUE &&
                      ::WriteFile(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (console != INVALID_HANDLE_VALUE) ::CloseHandle(console);
    ::FreeConsole();
    if (said) return;
  }
  const std::string title(app::kApplicationTitle);
  ::MessageBoxA(nullptr, text.c_str(), title.c_str(), (error ? MB_ICONERROR : MB_ICONINFORMATION) | MB_OK);
}

struct Arguments {
  std::optional<sim::Scenario> scenario;
  std::optional<int> exitNow;  // set for --help and for bad arguments
};

Arguments ReadArguments(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h" || option == "/?") {
      Say(Usage(), false);
      arguments.exitNow = 0;
      return arguments;
    }
    if ((option == "--simulate" || option == "--simulate-file") && i + 1 < argc) {
      const std::string value = argv[++i];
      try {
        arguments.scenario = option == "--simulate" ? sim::ChooseScenario(value, std::nullopt)
                                                    : sim::ChooseScenario(std::nullopt, value);
      } catch (const std::exception& error) {
        Say(std::string("corvane-update-tool: ") + error.what() + "\n", true);
        arguments.exitNow = 2;
        return arguments;
      }
      continue;
    }
    Say("corvane-update-tool: unknown option " + option + "\n" + Usage(), true);
    arguments.exitNow = 2;
    return arguments;
  }
  return arguments;
}

int EnvironmentInt(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

constexpr UINT kDemoKeys[] = {VK_F5, VK_F6, VK_F7, VK_F8};

int Run(std::optional<sim::Scenario> scenario, std::chrono::steady_clock::time_point start, int showCommand) {
  UiReport report = UiReport::FromEnvironment(start);
  report.Line("phase", "winmain");
  std::unique_ptr<sim::DemoSession> demo;
  std::unique_ptr<device::SystemDevices> devices;
  if (scenario) {
    sim::DemoSession::Options options;
    // As in the Qt window: 2 ms per command and 25 ms per KiB of firmware make an update last a
    // few seconds; CORVANE_DEMO_PACE_MS sets the time per KiB (0: no pacing at all).
    const int paceMs = std::max(EnvironmentInt("CORVANE_DEMO_PACE_MS", 25), 0);
    const bool paceSet = std::getenv("CORVANE_DEMO_PACE_MS") != nullptr;
    options.perKiB = std::chrono::milliseconds(paceMs);
    options.perCommand = std::chrono::milliseconds(paceSet && paceMs == 0 ? 0 : 2);
    options.realSleepCapMs = 20;
    demo = std::make_unique<sim::DemoSession>(*scenario, DesktopHost(), options);
    devices = OpenDemoDevices(*demo, *scenario);
  } else {
    devices = OpenRealDevices();
  }
  device::ScopedPlatform installed(devices->AsPlatform());

  UpdaterWindow::Options options;
  options.report = report.Enabled() ? &report : nullptr;
  UpdaterWindow window(options);
  report.Line("phase", "window-built");
  window.Form().SetAccessAdvice(AccessDeniedAdvice());
  if (demo) {
    demo->SetDeviceEventSink([&window](std::uint32_t code) { window.PostDeviceEvent(code); });
    const std::size_t adaptors = std::min(demo->World().DeviceCount(), std::size(kDemoKeys));
    window.View().handlers.preTranslate = [session = demo.get(), adaptors](const MSG& message) {
      if (message.message != WM_KEYDOWN) return false;
      for (std::size_t i = 0; i < adaptors; ++i) {
        if (message.wParam == kDemoKeys[i]) {
          session->TogglePlug(i);
          return true;
        }
      }
      return false;
    };
  }

  window.Start();
  window.Show(showCommand);
  if (std::getenv("CORVANE_EXIT_AFTER_SHOW") != nullptr) {
    // For start-up measurements: what is queued after the show is handled once, then it leaves.
    window.View().ProcessPendingMessages();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    char line[96];
    std::snprintf(line, sizeof line, "corvane-update-tool: window shown %lld ms after start of WinMain\n",
                  static_cast<long long>(ms.count()));
    report.Line("exit-after-show", line);
    Say(line, true);
    return 0;
  }
  window.RunMessageLoop();
  window.StopAnimation();
  return 0;  // the program's exit code is always 0
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int showCommand) {
  const auto start = std::chrono::steady_clock::now();
  Arguments arguments;
  // Without arguments nothing of the command line is read.
  if (commandLine != nullptr && *commandLine != '\0') arguments = ReadArguments(__argc, __argv);
  if (arguments.exitNow) return *arguments.exitNow;
  // What escapes start-up is shown like a handler's error, and the program ends with code 0.
  try {
    return Run(std::move(arguments.scenario), start, showCommand);
  } catch (const std::exception& error) {
    ShowHandlerError(nullptr, error.what());
  } catch (...) {
    ShowHandlerError(nullptr, "");
  }
  return 0;
}
