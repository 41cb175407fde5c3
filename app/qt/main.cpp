// corvane-update-tool: the updater's window.
//   corvane-update-tool                        work on the attached adaptors
//   corvane-update-tool --simulate NAME        demo on a built-in virtual adaptor scenario
//   corvane-update-tool --simulate-file FILE   demo on a scenario file
//   corvane-update-tool --version              print the program's version
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
#include <string_view>
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

constexpr int kDemoKeys[] = {Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8};

// Read before the application object exists, so --help works without a display.
std::optional<int> ExitEarly(const sim::DemoArguments& arguments) {
  switch (arguments.action) {
    case sim::DemoArguments::Action::Help:
      std::fputs(arguments.message.c_str(), stdout);
      return 0;
    case sim::DemoArguments::Action::Error:
      std::fprintf(stderr, "corvane-update-tool: %s\n", arguments.message.c_str());
      return 2;
    case sim::DemoArguments::Action::Run:
      break;
  }
  return std::nullopt;
}

int Run(QApplication& application, std::optional<sim::Scenario> scenario,
        const QElapsedTimer& startClock) {
  QtHostServices host;
  std::unique_ptr<sim::DemoSession> demo;
  std::unique_ptr<device::SystemDevices> devices;
  device::DeviceEventSource* events = nullptr;
  Platform platform;
  if (scenario) {
    bool paceSet = false;
    const int paceMs = qEnvironmentVariableIntValue("CORVANE_DEMO_PACE_MS", &paceSet);
    demo = std::make_unique<sim::DemoSession>(
        *scenario, host,
        sim::DemoSession::WindowPacing(paceSet ? std::optional<int>(paceMs) : std::nullopt));
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
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::printf("corvane-update-tool %s\n", CORVANE_VERSION);
    return 0;
  }
  QElapsedTimer startClock;
  startClock.start();
  sim::DemoArguments arguments =
      sim::ReadDemoArguments(std::vector<std::string_view>(argv + 1, argv + argc));
  if (const std::optional<int> code = ExitEarly(arguments)) return *code;
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
