#include "app/cli/progress_printer.h"

#include <algorithm>
#include <iostream>
#include <string>

namespace corvane::app::cli {

ProgressPrinter::ProgressPrinter(Style style) : ProgressPrinter(style, std::cout) {}
ProgressPrinter::ProgressPrinter(Style style, std::ostream& out) : style_(style), out_(out) {}

void ProgressPrinter::Update(int percent) {
  percent = std::clamp(percent, 0, 100);
  switch (style_) {
    case Style::Silent:
      return;
    case Style::Bar: {
      if (percent == lastPrinted_) return;
      constexpr int kWidth = 40;
      const int filled = percent * kWidth / 100;
      out_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
           << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << percent
           << "%" << std::flush;
      lastPrinted_ = percent;
      open_ = true;
      return;
    }
    case Style::Lines:
      // A new attempt starts again from 0: its tenths are printed again.
      if (percent < lastPrinted_) lastPrinted_ = -1;
      if (lastPrinted_ >= 0 && percent / 10 == lastPrinted_ / 10) return;
      out_ << "progress: " << percent << "%\n" << std::flush;
      lastPrinted_ = percent;
      return;
  }
}

void ProgressPrinter::Finish() {
  if (open_) out_ << '\n' << std::flush;
  open_ = false;
  lastPrinted_ = -1;
}

}  // namespace corvane::app::cli
