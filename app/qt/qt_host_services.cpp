#include "app/qt/qt_host_services.h"

#include <QApplication>
#include <QMessageBox>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/form_texts.h"

namespace corvane::app::qt {

void QtHostServices::SleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
// Whether standard error is in the middle of a line (a trace without a line end).
std::atomic<bool> midLine{false};
}  // namespace

void QtHostServices::DebugOutput(std::string_view text) {
  // The debugger channel: written as it stands, no line end added.
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  if (!text.empty()) midLine = text.back() != '\n';
}

void WriteErrorLine(std::string_view text) {
  std::fprintf(stderr, "%scorvane-update-tool: %.*s\n", midLine.exchange(false) ? "\n" : "",
               static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

void QtHostServices::ShowErrorBox(std::string_view text, std::string_view caption) {
  QMessageBox::critical(nullptr, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QtHostServices::AdaptorWriteBegins() {
  constexpr const char* kWhy = "Writing the adaptor's firmware";
  std::string error;
  if (!logind_.Take(std::string(app::kApplicationTitle), kWhy, error)) {
    DebugOutput("No lock against shutdown and sleep could be taken (" + error + "); the write goes on.\n");
  }
  if (!desktop_.Take("corvane-update-tool", kWhy, error)) {
    DebugOutput("Logout could not be inhibited (" + error + "); the write goes on.\n");
  }
}

void QtHostServices::AdaptorWriteEnds() {
  desktop_.Release();
  logind_.Release();
}

void ShowHandlerError(const char* what) {
  const std::string_view title = app::kApplicationTitle;
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(title.size()), title.data(), what);
  if (QApplication::instance() == nullptr) return;
  QMessageBox::critical(nullptr, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                        QString::fromUtf8(what));
}

}  // namespace corvane::app::qt
