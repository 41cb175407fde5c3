#include <gtest/gtest.h>

#include <sstream>

#include "app/cli/progress_printer.h"

namespace corvane::app::cli {
namespace {

TEST(ProgressPrinter, LinesAtEachTenthAndAgainForARetry) {
  std::ostringstream out;
  ProgressPrinter printer(ProgressPrinter::Style::Lines, out);
  // A first attempt that stops at 23 % and a second one that restarts from 0.
  for (int p : {0, 2, 4, 5, 7, 9, 11, 13, 23}) printer.Update(p);
  for (int p : {0, 3, 97, 99, 100, 100}) printer.Update(p);
  printer.Finish();
  EXPECT_EQ(out.str(),
            "progress: 0%\nprogress: 11%\nprogress: 23%\n"
            "progress: 0%\nprogress: 97%\nprogress: 100%\n");
}

TEST(ProgressPrinter, BarRedrawsOneLineAndEndsIt) {
  std::ostringstream out;
  ProgressPrinter printer(ProgressPrinter::Style::Bar, out);
  printer.Update(0);
  printer.Update(50);
  printer.Update(50);
  printer.Update(130);  // out of range values are held to the bar's ends
  printer.Finish();
  const std::string text = out.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3);
  EXPECT_NE(text.find("[" + std::string(20, '#') + std::string(20, '.') + "] 50%"), std::string::npos);
  EXPECT_NE(text.find("[" + std::string(40, '#') + "] 100%\n"), std::string::npos);
}

TEST(ProgressPrinter, SilentPrintsNothing) {
  std::ostringstream out;
  ProgressPrinter printer(ProgressPrinter::Style::Silent, out);
  printer.Update(10);
  printer.Finish();
  EXPECT_TRUE(out.str().empty());
}

}  // namespace
}  // namespace corvane::app::cli
