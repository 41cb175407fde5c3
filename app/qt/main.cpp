// corvane-update-tool: the updater's window.
//   corvane-update-tool                        work on the attached adaptors
//   corvane-update-tool --simulate NAME        demo on a built-in virtual adaptor scenario
//   corvane-update-tool --simulate-file FILE   demo on a scenario file
// In demo mode F5 unplugs or re-plugs the first virtual adaptor (F6, F7, F8 the next ones).
#include <QApplication>
#include <QElapsedTimer>
#include <QKeySequence>
#include <QShortcut>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/form_texts.h"
#include "app/qt/qt_host_services.h"
#include "app/qt/updater_window.h"
#include "device/system_devices.h"
#include "sim/demo_session.h"

namespace {

using namespace corvane;
using namespace corvane::app::qt;
using device::Platform;

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void PrintUsage() {
  std::printf(
      "usage: corvane-update-tool [--simulate NAME | --simulate-file FILE]\n"
      "  Without options the tool works on the adaptors attached to this computer.\n"
      "  --simulate NAME       demo on a built-in virtual adaptor scenario\n"
      "  --simulate-file FILE  demo on a scenario file\n"
      "  In demo mode F5 unplugs or re-plugs the first virtual adaptor, F6 to F8 the next ones.\n"
      "Built-in scenarios:");
  for (const std::string& name : sim::BuiltInScenarioNames()) std::printf(" %s", name.c_str());
  std::printf("\n");
}

constexpr int kDemoKeys[] = {Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8};

struct Arguments {
  std::optional<sim::Scenario> scenario;
  std::optional<int> exitNow;  // set for --help and for bad arguments
};

// Read before the application object exists, so --help works without a display.
Arguments ReadArguments(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      PrintUsage();
      arguments.exitNow = 0;
      return arguments;
    }
    if ((option == "--simulate" || option == "--simulate-file") && i + 1 < argc) {
      const std::string value = argv[++i];
      try {
        arguments.scenario = option == "--simulate"
                                 ? sim::ChooseScenario(value, std::nullopt)
                                 : sim::ChooseScenario(std::nullopt, value);
      } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane-update-tool: %s\n", error.what());
        arguments.exitNow = 2;
        return arguments;
      }
      continue;
    }
    std::fprintf(stderr, "corvane-update-tool: unknown option %s\n", option.c_str());
    PrintUsage();
    arguments.exitNow = 2;
    return arguments;
  }
  return arguments;
}

int Run(QApplication& application, std::optional<sim::Scenario> scenario,
        const QElapsedTimer& startClock) {
  QtHostServices host;
  std::unique_ptr<sim::DemoSession> demo;
  std::unique_ptr<device::SystemDevices> devices;
  device::DeviceEventSource* events = nullptr;
  Platform platform;
  if (scenario) {
    sim::DemoSession::Options options;
    // 2 ms per command and 25 ms per KiB of firmware make an update last a few seconds, long
    // enough to watch; CORVANE_DEMO_PACE_MS sets the time per KiB (0: no pacing at all).
    bool paceSet = false;
    const int paceMs = std::max(qEnvironmentVariableIntValue("CORVANE_DEMO_PACE_MS", &paceSet), 0);
    options.perKiB = std::chrono::milliseconds(paceSet ? paceMs : 25);
    options.perCommand = std::chrono::milliseconds(paceSet && paceMs == 0 ? 0 : 2);
    options.realSleepCapMs = 20;
    demo = std::make_unique<sim::DemoSession>(*scenario, host, options);
    platform = demo->MakePlatform();
  } else {
    devices = device::OpenSystemDevices();
    platform = devices->AsPlatform(&host);
    // Without the kernel's events the window still works; it only does not rescan by itself.
    std::string error;
    events = devices->OpenEvents(error);
    if (events == nullptr) std::fprintf(stderr, "corvane-update-tool: %s\n", error.c_str());
  }
  device::ScopedPlatform installed(platform);

  UpdaterWindow window(UpdaterWindow::Options{});
  window.Form().SetAccessAdvice(device::AdviceForThisPlatform().accessDenied);
  window.SetEventSource(events);
  if (demo) {
    demo->SetDeviceEventSink([&window](std::uint32_t code) { window.PostDeviceEvent(code); });
    QWidget* top = window.View().Window();
    const std::size_t adaptors = demo->World().DeviceCount();
    QString tip = QStringLiteral("Demo on virtual adaptors:");
    for (std::size_t i = 0; i < adaptors && i < std::size(kDemoKeys); ++i) {
      auto* shortcut = new QShortcut(QKeySequence(kDemoKeys[i]), top);
      QObject::connect(shortcut, &QShortcut::activated,
                       [session = demo.get(), i] { session->TogglePlug(i); });
      tip += QStringLiteral("\nF%1 unplugs or re-plugs adaptor %2").arg(5 + static_cast<int>(i)).arg(i + 1);
    }
    top->setToolTip(tip);
  }

  window.Start();
  window.Show();
  // The application title names the program to the desktop (Qt's display name). Qt on X11 and
  // Wayland appends the display name to every window title it passes on from then on; set only now,
  // after the window went up with its caption, the title bar keeps exactly "Corvane Update Tool".
  QApplication::setApplicationDisplayName(ToQString(app::kApplicationTitle));
  if (qEnvironmentVariableIsSet("CORVANE_EXIT_AFTER_SHOW")) {
    // For start-up measurements: report and leave at the event loop's first turn after show().
    QTimer::singleShot(0, &application, [&application, &startClock] {
      std::fprintf(stderr, "corvane-update-tool: window shown %lld ms after start of main\n",
                   static_cast<long long>(startClock.elapsed()));
      application.quit();
    });
  }
  application.exec();
  window.StopAnimation();
  return 0;  // the program's exit code is always 0
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer startClock;
  startClock.start();
  Arguments arguments = ReadArguments(argc, argv);
  if (arguments.exitNow) return *arguments.exitNow;
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("corvane-update-tool"));
  QGuiApplication::setDesktopFileName(QStringLiteral("corvane-update-tool"));
  // What escapes start-up is shown like a handler's error and the program ends with code 0.
  try {
    return Run(application, std::move(arguments.scenario), startClock);
  } catch (const std::exception& error) {
    ShowHandlerError(error.what());
  } catch (...) {
    ShowHandlerError("");
  }
  return 0;
}
