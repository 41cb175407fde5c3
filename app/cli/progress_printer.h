// The update's progress bar on a terminal, or plain lines when the output goes elsewhere.
#pragma once

#include <iosfwd>

namespace corvane::app::cli {

class ProgressPrinter {
 public:
  enum class Style { Bar, Lines, Silent };
  explicit ProgressPrinter(Style style);
  ProgressPrinter(Style style, std::ostream& out);

  // The bar's value, 0..100. Lines are printed at 0 and whenever a new tenth is reached, so a
  // log holds a dozen lines rather than one per 1024-byte block.
  void Update(int percent);
  // The bar was hidden: end its line.
  void Finish();

 private:
  Style style_;
  std::ostream& out_;
  int lastPrinted_ = -1;
  bool open_ = false;
};

}  // namespace corvane::app::cli
