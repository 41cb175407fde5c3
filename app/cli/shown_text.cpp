#include "app/cli/shown_text.h"

#include <cstdio>
#include <iostream>

namespace corvane::app::cli {
namespace {

enum class Mode {
  Value,   // backslashes doubled
  Line,    // backslashes kept
  Stream,  // line breaks, tabs, carriage returns, DEL and backslashes kept
};

// The valid UTF-8 sequence at the start of `text`: its length, with its code point in `point`;
// 0 when the bytes there are no valid sequence or end before it is complete.
std::size_t DecodeUtf8(std::string_view text, char32_t& point) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  // The range of the second byte: no overlong form, no surrogate, nothing above U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) {
    point = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) return 0;
    point = (point << 6) | (byte & 0x3F);
  }
  return length;
}

// Valid characters that a terminal acts on, or that change how a line reads without being seen.
bool SteersTerminal(char32_t point) {
  struct Range {
    char32_t first, last;
  };
  static constexpr Range kRanges[] = {{0x0080, 0x009F}, {0x061C, 0x061C}, {0x200B, 0x200F},
                                      {0x2028, 0x202E}, {0x2060, 0x2069}, {0xFEFF, 0xFEFF},
                                      {0xFFF9, 0xFFFB}};
  for (const Range& range : kRanges) {
    if (point >= range.first && point <= range.last) return true;
  }
  return false;
}

std::string Escape(std::string_view text, Mode mode) {
  std::string shown;
  shown.reserve(text.size());
  char escaped[12];
  for (std::size_t i = 0; i < text.size();) {
    char32_t point = 0;
    const std::size_t length = DecodeUtf8(text.substr(i), point);
    if (length == 0) {
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[i]));
      shown += escaped;
      ++i;
      continue;
    }
    const std::string_view bytes = text.substr(i, length);
    i += length;
    const bool control = point < 0x20 || point == 0x7F;
    const bool streamKeeps =
        mode == Mode::Stream && (point == '\n' || point == '\r' || point == '\t' || point == 0x7F);
    if (control && !streamKeeps) {
      if (point == '\n') {
        shown += "\\n";
      } else if (point == '\r') {
        shown += "\\r";
      } else if (point == '\t') {
        shown += "\\t";
      } else {
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(point));
        shown += escaped;
      }
    } else if (point == '\\' && mode == Mode::Value) {
      shown += "\\\\";
    } else if (SteersTerminal(point)) {
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(point));
      shown += escaped;
    } else {
      shown += bytes;
    }
  }
  return shown;
}

// How many bytes at the end of `text` begin a UTF-8 sequence whose rest has not been written yet.
std::size_t IncompleteTail(std::string_view text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if (byte >= 0x80 && byte <= 0xBF) continue;  // a continuation byte: its lead is further back
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
    return byte >= 0xC2 && byte <= 0xF4 && length > back ? back : 0;
  }
  return 0;
}

// Passes what is written on to `inner`, escaped. A character written in pieces is held until it
// is whole, so it is judged as one.
class EscapingBuffer : public std::streambuf {
 public:
  explicit EscapingBuffer(std::streambuf* inner) : inner_(inner) {}
  // A sequence still cut off at the end is written escaped, byte by byte.
  ~EscapingBuffer() override { Emit(pending_.size()); }
  EscapingBuffer(const EscapingBuffer&) = delete;
  EscapingBuffer& operator=(const EscapingBuffer&) = delete;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return Write(&byte, 1) ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    return Write(text, static_cast<std::size_t>(count)) ? count : 0;
  }
  int sync() override { return inner_->pubsync(); }

 private:
  bool Write(const char* text, std::size_t count) {
    pending_.append(text, count);
    return Emit(pending_.size() - IncompleteTail(pending_));
  }
  bool Emit(std::size_t count) {
    const std::string shown = Escape(std::string_view(pending_).substr(0, count), Mode::Stream);
    pending_.erase(0, count);
    const auto size = static_cast<std::streamsize>(shown.size());
    return inner_->sputn(shown.data(), size) == size;
  }

  std::streambuf* inner_;
  std::string pending_;
};

}  // namespace

std::string ShownText(std::string_view text) { return Escape(text, Mode::Value); }

std::string ShownLine(std::string_view text) { return Escape(text, Mode::Line); }

OutputGuard::OutputGuard()
    : out_(std::make_unique<EscapingBuffer>(std::cout.rdbuf())),
      err_(std::make_unique<EscapingBuffer>(std::cerr.rdbuf())),
      previousOut_(std::cout.rdbuf(out_.get())),
      previousErr_(std::cerr.rdbuf(err_.get())) {}

OutputGuard::~OutputGuard() {
  std::cout.rdbuf(previousOut_);
  std::cerr.rdbuf(previousErr_);
  out_.reset();
  err_.reset();
  std::cout.flush();
  std::cerr.flush();
}

}  // namespace corvane::app::cli
