// The GUI tests need one application object for the whole run; the offscreen platform needs no
// display, so they run anywhere CTest runs.
#include <QApplication>

#include <gtest/gtest.h>

#include "app/form_texts.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const std::string_view title = corvane::app::kApplicationTitle;
  QApplication::setApplicationDisplayName(
      QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
