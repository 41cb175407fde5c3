#include "app/cli/progress_printer.h"

#include <algorithm>
#include <iostream>
#include <string>

namespace corvane::app::cli {

ProgressPrinter::ProgressPrinter(Style style) : ProgressPrinter(style, std::cout) {}
ProgressPrinter::ProgressPrinter(Style style, std::ostream& out) : style_(style), out_(out) {}

void ProgressPrinter::Update(std::string_view phase, int percent) {
  percent = std::clamp(percent, 0, 100);
  if (style_ == Style::Silent) return;
  if (phase != phase_) {
    Finish();
    phase_ = std::string(phase);
  }
  const std::string label = phase_.empty() ? std::string() : phase_ + " ";
  switch (style_) {
    case Style::Silent:
      return;
    case Style::Bar: {
      if (percent == lastPrinted_) return;
      constexpr int kWidth = 40;
      const int filled = percent * kWidth / 100;
      std::string name = label;
      if (!name.empty()) name.resize(std::max<std::size_t>(name.size(), 10), ' ');
      out_ << "\r" << name << "[" << std::string(static_cast<std::size_t>(filled), '#')
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
      out_ << "progress: " << label << percent << "%\n" << std::flush;
      lastPrinted_ = percent;
      return;
  }
}

void ProgressPrinter::Finish() {
  if (open_) out_ << '\n' << std::flush;
  open_ = false;
  lastPrinted_ = -1;
}

PhaseProgress::PhaseProgress(ProgressPrinter& printer, std::uint32_t firmwareArea,
                             int nvramCommands)
    : printer_(printer), firmwareArea_(std::max<std::uint32_t>(firmwareArea, 1)),
      nvramCommands_(std::max(nvramCommands, 1)) {}

void PhaseProgress::Writing(int percent) {
  // A second attempt writes again after its verification failed.
  phase_ = Phase::Writing;
  printer_.Update("writing", percent);
}

void PhaseProgress::Command(const device::TraceEntry& entry) {
  if (entry.cdb.size() < 2) return;
  const std::uint8_t opcode = entry.cdb[0];
  if (opcode == 0x3B) {
    if (phase_ != Phase::Writing) Writing(0);
  } else if (opcode == 0x3C && (entry.cdb[1] & 0x1F) == 0x01 && phase_ != Phase::None) {
    if (phase_ != Phase::Verifying) {
      readBack_ = 0;
      printer_.Update("verifying", 0);
    }
    phase_ = Phase::Verifying;
    readBack_ += entry.length;
    printer_.Update("verifying",
                    static_cast<int>(std::min<std::uint64_t>(100, std::uint64_t{readBack_} * 100 /
                                                                      firmwareArea_)));
  } else if (opcode == 0xDF && entry.cdb.size() == 12 &&
             ((entry.cdb[11] == 0xFA && entry.cdb[1] == 0x10) ||
              (entry.cdb[11] == 0xFB && (entry.cdb[1] & 0x87) == 0x01))) {
    // The NVRAM block's read and write; the boot ROM's start command (sub-code 3) is not one. A
    // read before anything was written is one of the checks that precede a restore's writes.
    if (phase_ == Phase::None && entry.cdb[11] == 0xFA) return;
    if (phase_ != Phase::Nvram) {
      nvramDone_ = 0;
      printer_.Update("NVRAM", 0);
    }
    phase_ = Phase::Nvram;
    ++nvramDone_;
    printer_.Update("NVRAM", std::min(100, nvramDone_ * 100 / nvramCommands_));
  }
}

}  // namespace corvane::app::cli
