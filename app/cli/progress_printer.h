// The update's progress on a terminal (a bar per phase), or plain lines when the output goes
// elsewhere; and the phases of a write told apart by the commands on the wire.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "device/command_trace.h"

namespace corvane::app::cli {

class ProgressPrinter {
 public:
  enum class Style { Bar, Lines, Silent };
  explicit ProgressPrinter(Style style);
  ProgressPrinter(Style style, std::ostream& out);

  // The bar's value, 0..100, in a named phase ("" for none). Lines are printed at 0 and whenever a
  // new tenth is reached, so a log holds a dozen lines rather than one per 1024-byte block. A new
  // phase ends the bar of the one before and starts its own.
  void Update(int percent) { Update("", percent); }
  void Update(std::string_view phase, int percent);
  // The bar was hidden: end its line.
  void Finish();

 private:
  Style style_;
  std::ostream& out_;
  std::string phase_;
  int lastPrinted_ = -1;
  bool open_ = false;
};

// Which phase a firmware write is in, told from the commands it sends: WRITE BUFFER while the
// firmware is written (the writer's own progress), READ BUFFER of data while it is verified, the
// NVRAM block's reads and writes at the end.
class PhaseProgress {
 public:
  // `firmwareArea`: bytes the verification reads back; `nvramCommands`: the NVRAM accesses the
  // run makes (3 for the rebranding: read, write, read back; 2 for a restore).
  PhaseProgress(ProgressPrinter& printer, std::uint32_t firmwareArea, int nvramCommands);
  void Writing(int percent);
  void Command(const device::TraceEntry& entry);

 private:
  enum class Phase { None, Writing, Verifying, Nvram };
  ProgressPrinter& printer_;
  std::uint32_t firmwareArea_;
  int nvramCommands_;
  Phase phase_ = Phase::None;
  std::uint32_t readBack_ = 0;
  int nvramDone_ = 0;
};

}  // namespace corvane::app::cli
