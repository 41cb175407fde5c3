// corvane-update-tool.exe: the updater's window on Windows.
//   corvane-update-tool                        work on the attached adaptors
//   corvane-update-tool --simulate NAME        demo on a built-in virtual adaptor scenario
//   corvane-update-tool --simulate-file FILE   demo on a scenario file
//   --simulate-state FILE, --record FILE, --replay FILE as the command line's (docs/recording.md)
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

// CORVANE_DEMO_PACE_MS, when set: the demo's time per KiB.
std::optional<int> DemoPace() {
  const char* value = std::getenv("CORVANE_DEMO_PACE_MS");
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::atoi(value);
}

constexpr UINT kDemoKeys[] = {VK_F5, VK_F6, VK_F7, VK_F8};

int Run(std::optional<sim::Scenario> scenario, sim::SessionFiles& files,
        std::chrono::steady_clock::time_point start, int showCommand) {
  UiReport report = UiReport::FromEnvironment(start);
  report.Line("phase", "winmain");
  std::unique_ptr<sim::DemoSession> demo;
  std::unique_ptr<device::SystemDevices> devices;
  sim::VirtualClock replayClock;
  sim::DemoHost replayHost(replayClock, DesktopHost(), 0);
  device::Platform platform;
  if (files.Replaying()) {
    files.Replay()->SetDivergenceSink(
        [](const std::string& text) { DesktopHost().ShowErrorBox(text, "Replay stopped"); });
    platform = files.ReplayPlatform(replayHost);
  } else if (scenario) {
    demo = std::make_unique<sim::DemoSession>(*scenario, DesktopHost(),
                                              sim::DemoSession::WindowPacing(DemoPace()));
    files.LoadState(demo->World(), demo->Clock());
    devices = OpenDemoDevices(*demo, *scenario);
    platform = devices->AsPlatform();
  } else {
    devices = OpenRealDevices();
    platform = devices->AsPlatform();
  }
  device::ScopedPlatform installed(files.Record(platform));

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
  for (const auto& problem : files.Finish(demo ? &demo->World() : nullptr, demo ? &demo->Clock() : nullptr)) {
    Say("corvane-update-tool: " + problem + "\n", true);
  }
  return 0;  // the program's exit code is always 0
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int showCommand) {
  const auto start = std::chrono::steady_clock::now();
  sim::DemoArguments arguments;
  // Without arguments nothing of the command line is read.
  if (commandLine != nullptr && *commandLine != '\0') {
    arguments = sim::ReadDemoArguments(std::vector<std::string_view>(__argv + 1, __argv + __argc));
  }
  switch (arguments.action) {
    case sim::DemoArguments::Action::Help:
      Say(arguments.message, false);
      return 0;
    case sim::DemoArguments::Action::Error:
      Say("corvane-update-tool: " + arguments.message + "\n", true);
      return 2;
    case sim::DemoArguments::Action::Run:
      break;
  }
  // What escapes start-up is shown like a handler's error, and the program ends with code 0.
  try {
    return Run(std::move(arguments.scenario), *arguments.session, start, showCommand);
  } catch (const std::exception& error) {
    ShowHandlerError(nullptr, error.what());
  } catch (...) {
    ShowHandlerError(nullptr, "");
  }
  return 0;
}
