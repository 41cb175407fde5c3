#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "app/cli/shown_text.h"

namespace corvane::app::cli {
namespace {

TEST(ShownText, EscapesWhatCouldForgeALineOrSteerTheTerminal) {
  struct Case {
    std::string_view text;
    std::string_view value;  // ShownText
    std::string_view line;   // ShownLine
  };
  const Case cases[] = {
      {"Corvane KTS260 NVMe", "Corvane KTS260 NVMe", "Corvane KTS260 NVMe"},
      {"\nstatus: Update complete\x1B[2J", "\\nstatus: Update complete\\x1B[2J",
       "\\nstatus: Update complete\\x1B[2J"},
      {"a\tb\rc\x07\x7F", "a\\tb\\rc\\x07\\x7F", "a\\tb\\rc\\x07\\x7F"},
      {std::string_view("nul\0end", 7), "nul\\x00end", "nul\\x00end"},
      // A literal "\x1B" stays apart from an ESC byte only when backslashes are doubled.
      {"C:\\Users\\x1B", "C:\\\\Users\\\\x1B", "C:\\Users\\x1B"},
      // Printable UTF-8 is kept; C1 controls (8-bit CSI) and a right-to-left override are not.
      {"Caf\xC3\xA9 \xE6\x97\xA5", "Caf\xC3\xA9 \xE6\x97\xA5", "Caf\xC3\xA9 \xE6\x97\xA5"},
      {"\xC2\x9B"
       "2J\xE2\x80\xAE"
       "abc\xE2\x80\xA8",
       "\\u009B2J\\u202Eabc\\u2028", "\\u009B2J\\u202Eabc\\u2028"},
      // No UTF-8: a lone Latin-1 byte, an overlong slash, a surrogate, a cut-off sequence.
      {"\xE9\xC0\xAF\xED\xA0\x80\xE2\x80", "\\xE9\\xC0\\xAF\\xED\\xA0\\x80\\xE2\\x80",
       "\\xE9\\xC0\\xAF\\xED\\xA0\\x80\\xE2\\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShownText(c.text), c.value) << c.text;
    EXPECT_EQ(ShownLine(c.text), c.line) << c.text;
    // Shown text is plain: showing it again as a line changes nothing.
    EXPECT_EQ(ShownLine(c.line), c.line) << c.text;
  }
}

// The guard catches what no print point escaped, keeps the output's own line breaks and
// backslashes, and judges a character written in pieces as one.
TEST(ShownText, OutputGuardEscapesEverythingWrittenToTheStandardStreams) {
  std::ostringstream out;
  std::ostringstream err;
  std::streambuf* const previousOut = std::cout.rdbuf(out.rdbuf());
  std::streambuf* const previousErr = std::cerr.rdbuf(err.rdbuf());
  {
    const OutputGuard guard;
    std::cout << "item \x1B[2J\\n" << '\n' << "\xE2\x80";
    std::cout << "\xAE"
              << "\xC3\xA9\r\n"
              << "\xE2";
    std::cerr << "error: \x9B" << std::endl;
  }
  std::cout.rdbuf(previousOut);
  std::cerr.rdbuf(previousErr);
  EXPECT_EQ(out.str(), "item \\x1B[2J\\n\n\\u202E\xC3\xA9\r\n\\xE2");
  EXPECT_EQ(err.str(), "error: \\x9B\n");
}

}  // namespace
}  // namespace corvane::app::cli
