// Text that came from a device, a file, the environment or the command line, made safe to print:
// it can neither forge a line of the tool's output nor steer the terminal.
//
// What is escaped:
//   - control bytes 0x00-0x1F: \n, \r and \t by their letters, the others as \xNN (ESC is \x1B),
//     and DEL as \x7F;
//   - bytes that are no valid UTF-8 (a lone 0xE9, an overlong or cut-off sequence, a surrogate)
//     as \xNN, one per byte;
//   - characters that are valid UTF-8 but steer a terminal or the reading of a line, as \uNNNN:
//     the C1 controls U+0080-U+009F (U+009B is an 8-bit CSI), the bidirectional marks, embeddings,
//     overrides and isolates (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069), the
//     zero-width and invisible characters (U+200B-U+200D, U+2060-U+2065, U+FEFF), the line and
//     paragraph separators U+2028, U+2029, and the annotation marks U+FFF9-U+FFFB.
// Printable UTF-8 text (accents, other scripts) is shown as it is.
#pragma once

#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

namespace corvane::app::cli {

// A value shown on its own (an INQUIRY text, an NVRAM field, a backup's identity value, a line
// read from standard input): a backslash is also escaped, as \\, so whatever is shown reads back
// to exactly one sequence of bytes.
std::string ShownText(std::string_view text);

// A path, or a message of one line that names paths or values: as ShownText, but backslashes are
// kept, since they separate a Windows path's folders and a path is shown so it can be given back
// to the tool. Text already shown comes out unchanged.
std::string ShownLine(std::string_view text);

// While it lives, everything written to std::cout and std::cerr passes a filter that applies the
// rules above to whatever no ShownText or ShownLine covered, keeping line breaks, tabs, carriage
// returns (the progress bar's), DEL (which no terminal acts on) and backslashes. It never changes
// JSON's meaning: JSON holds no raw control byte or invalid UTF-8, and \uNNNN is JSON's own escape.
class OutputGuard {
 public:
  OutputGuard();
  ~OutputGuard();
  OutputGuard(const OutputGuard&) = delete;
  OutputGuard& operator=(const OutputGuard&) = delete;

 private:
  std::unique_ptr<std::streambuf> out_;
  std::unique_ptr<std::streambuf> err_;
  std::streambuf* previousOut_;
  std::streambuf* previousErr_;
};

}  // namespace corvane::app::cli
