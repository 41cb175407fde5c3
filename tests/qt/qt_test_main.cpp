// The GUI tests need one application object for the whole run; the offscreen platform needs no
// display, so they run anywhere CTest runs. Its screens are the ones tests/qt/CMakeLists.txt
// writes (a desktop and two laptop screens), so the window can be fitted to a small one.
#include <QApplication>

#include <gtest/gtest.h>

#include "app/form_texts.h"
#include "app/qt/close_signals.h"

#if defined(__SANITIZE_THREAD__)
// Built with -fsanitize=thread: Qt itself is not instrumented. It scales and converts images on its
// own pooled worker threads and synchronises them (and its event queue) through futex-based locks
// the sanitizer cannot see, so every hand-over inside Qt looks like a race. Reports whose stacks
// pass through the Qt libraries are Qt's; our own threads (the window thread, the animation thread)
// meet only in std::mutex/std::condition_variable and Qt's event posting. That widgets are touched
// on the window thread only is checked by the view itself (QtFormView asserts it).
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\n"
         "race:libQt6Gui.so\n"
         "race:libQt6Widgets.so\n"
         "mutex:libQt6Core.so\n"
         "deadlock:libQt6Core.so\n";
}
#endif

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + CORVANE_QT_SCREENS);
  }
  // As the window program's main() does, before any thread exists.
  corvane::app::qt::HoldCloseSignals();
  QApplication application(argc, argv);
  const std::string_view title = corvane::app::kApplicationTitle;
  QApplication::setApplicationDisplayName(
      QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
