// corvane-update-tool: the updater's window.
//   corvane-update-tool                        work on the attached adaptors
//   corvane-update-tool --simulate NAME        demo on a built-in virtual adaptor scenario
//   corvane-update-tool --simulate-file FILE   demo on a scenario file
//   corvane-update-tool --version              print the version
//   --simulate-state FILE, --record FILE, --replay FILE as the command line's (docs/recording.md)
// In demo mode F5 unplugs or re-plugs the first virtual adaptor (F6, F7, F8 the next ones).
// Exit codes: 0 the window ran and closed (whatever the update came to), 2 a wrong option,
// 3 no display to show the window on.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeySequence>
#include <QShortcut>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/form_texts.h"
#include "app/qt/close_signals.h"
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

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "unknown"
#endif

constexpr int kExitNoDisplay = 3;

void SayNoDisplay(const char* why) {
  std::fprintf(stderr,
               "corvane-update-tool: cannot open the window: %s.\n"
               "Without a display, use the command-line program instead: corvane-update list, "
               "corvane-update check, corvane-update update (see corvane-update --help).\n",
               why);
}

bool Set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// Qt ends the process with abort() (and a core dump) when it finds no display; during the
// application object's construction that is said in our words and ends with kExitNoDisplay.
bool constructing = false;
QtMessageHandler qtHandler = nullptr;
void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg && constructing) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string why = std::string("no display could be opened (DISPLAY=") +
                            (display != nullptr ? display : "") + ", WAYLAND_DISPLAY=" +
                            (wayland != nullptr ? wayland : "") + ")";
    SayNoDisplay(why.c_str());
    std::_Exit(kExitNoDisplay);
  }
  if (qtHandler != nullptr) qtHandler(type, context, message);
}

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
        sim::SessionFiles& files, const QElapsedTimer& startClock) {
  QtHostServices host;
  std::unique_ptr<sim::DemoSession> demo;
  std::unique_ptr<device::SystemDevices> devices;
  device::DeviceEventSource* events = nullptr;
  Platform platform;
  sim::VirtualClock replayClock;
  sim::DemoHost replayHost(replayClock, host, 0);
  if (files.Replaying()) {
    files.Replay()->SetDivergenceSink(
        [&host](const std::string& text) { host.ShowErrorBox(text, "Replay stopped"); });
    platform = files.ReplayPlatform(replayHost);
  } else if (scenario) {
    bool paceSet = false;
    const int paceMs = qEnvironmentVariableIntValue("CORVANE_DEMO_PACE_MS", &paceSet);
    demo = std::make_unique<sim::DemoSession>(
        *scenario, host,
        sim::DemoSession::WindowPacing(paceSet ? std::optional<int>(paceMs) : std::nullopt));
    files.LoadState(demo->World(), demo->Clock());
    platform = demo->MakePlatform();
  } else {
    devices = device::OpenSystemDevices();
    platform = devices->AsPlatform(&host);
    // Without the kernel's events the window still works; it only does not rescan by itself.
    std::string error;
    events = devices->OpenEvents(error);
    if (events == nullptr) std::fprintf(stderr, "corvane-update-tool: %s\n", error.c_str());
  }
  device::ScopedPlatform installed(files.Record(platform));

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
  for (const auto& problem : files.Finish(demo ? &demo->World() : nullptr, demo ? &demo->Clock() : nullptr)) {
    std::fprintf(stderr, "corvane-update-tool: %s\n", problem.c_str());
  }
  return 0;  // the program's exit code is always 0
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer startClock;
  startClock.start();
  const std::vector<std::string_view> options(argv + 1, argv + argc);
  if (std::find(options.begin(), options.end(), "--version") != options.end()) {
    std::printf("corvane-update-tool %s\n", CORVANE_VERSION);
    return 0;
  }
  sim::DemoArguments arguments = sim::ReadDemoArguments(options);
  if (const std::optional<int> code = ExitEarly(arguments)) return *code;
  // A platform named by the caller (offscreen, vnc, ...) needs no display of the desktop's.
  if (!Set("QT_QPA_PLATFORM") && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
    SayNoDisplay("neither DISPLAY nor WAYLAND_DISPLAY is set");
    return kExitNoDisplay;
  }
  // Before Qt starts any thread: every thread of the program then has them blocked.
  HoldCloseSignals();
  qtHandler = qInstallMessageHandler(OnQtMessage);
  constructing = true;
  QApplication application(argc, argv);
  constructing = false;
  QApplication::setApplicationName(QStringLiteral("corvane-update-tool"));
  QGuiApplication::setDesktopFileName(QStringLiteral("corvane-update-tool"));
  // What escapes start-up is shown like a handler's error and the program ends with code 0.
  try {
    return Run(application, std::move(arguments.scenario), *arguments.session, startClock);
  } catch (const std::exception& error) {
    ShowHandlerError(error.what());
  } catch (...) {
    ShowHandlerError("");
  }
  return 0;
}
