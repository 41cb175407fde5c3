// What every fuzz target shares: a breach of an invariant stops the run like a crash, a port whose
// every answer comes from the fuzzer's bytes, and host services on virtual time.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "device/host_services.h"
#include "device/scsi_port.h"
#include "sim/command_kind.h"

namespace corvane::fuzz {

// An invariant that does not hold is a finding: libFuzzer keeps the input and stops.
[[noreturn]] inline void Breach(const char* what, const char* file, int line) {
  std::fprintf(stderr, "invariant breached at %s:%d: %s\n", file, line, what);
  std::abort();
}
#define FUZZ_REQUIRE(condition)                                                  \
  do {                                                                           \
    if (!(condition)) ::corvane::fuzz::Breach(#condition, __FILE__, __LINE__);   \
  } while (false)

// Virtual time; traces and error boxes are counted, never shown.
class FuzzHost : public device::HostServices {
 public:
  void SleepMs(std::uint32_t ms) override { nowMs += ms; }
  void DebugOutput(std::string_view text) override { debugTexts.emplace_back(text); }
  void ShowErrorBox(std::string_view, std::string_view) override { ++errorBoxes; }

  std::uint64_t nowMs = 0;
  std::vector<std::string> debugTexts;
  int errorBoxes = 0;
};

// How the device answered one command, as a port reports it.
struct Answer {
  enum class Kind { Good, CheckCondition, NotOpened, NotCarriedOut };
  Kind kind = Kind::Good;
  std::vector<std::uint8_t> data;  // data-in bytes; the rest of the transfer stays zero
  bool ownCount = false;           // report `transferred` instead of the bytes given
  std::uint32_t transferred = 0;
};

// An answer read from the fuzzer: mostly good, with up to `maxData` data bytes.
inline Answer FuzzedAnswer(FuzzedDataProvider& fuzz, std::size_t maxData) {
  Answer a;
  const std::uint8_t shape = fuzz.ConsumeIntegral<std::uint8_t>();
  if (shape >= 0xF0) a.kind = Answer::Kind::CheckCondition;
  else if (shape >= 0xE8) a.kind = Answer::Kind::NotOpened;
  else if (shape >= 0xE0) a.kind = Answer::Kind::NotCarriedOut;
  if ((shape & 0x0F) == 0x0F) {
    a.ownCount = true;
    a.transferred = fuzz.ConsumeIntegral<std::uint32_t>();
  }
  a.data = fuzz.ConsumeBytes<std::uint8_t>(fuzz.ConsumeIntegralInRange<std::size_t>(0, maxData));
  return a;
}

// One command as the port saw it.
struct SentCommand {
  std::string path;
  std::string_view kind;  // sim::CommandKindName
  std::vector<std::uint8_t> cdb;
  device::DataDirection direction = device::DataDirection::In;
  std::size_t length = 0;
  std::uint32_t timeoutSeconds = 0;
  bool succeeded = false;  // what the tool was told
};

// A port whose answers come from `answer` (the fuzzer's bytes, through the target). It never
// writes past the transfer it is given.
class ScriptedPort : public device::ScsiPort {
 public:
  using AnswerFor = std::function<Answer(const SentCommand&)>;
  explicit ScriptedPort(AnswerFor answerFor) : answerFor_(std::move(answerFor)) {}

  device::ScsiOutcome Execute(std::string_view path, const device::ScsiRequest& request) override {
    SentCommand sent;
    sent.path = std::string(path);
    sent.kind = sim::CommandKindName(request.cdb);
    sent.cdb.assign(request.cdb.begin(), request.cdb.end());
    sent.direction = request.direction;
    sent.length = request.data.size();
    sent.timeoutSeconds = request.timeoutSeconds;
    const Answer a = answerFor_(sent);

    device::ScsiOutcome outcome;
    if (a.kind != Answer::Kind::NotOpened) {
      outcome.opened = true;
      std::size_t n = 0;
      if (request.direction == device::DataDirection::In) {
        n = std::min(a.data.size(), request.data.size());
        std::copy_n(a.data.begin(), n, request.data.begin());
      } else {
        n = request.data.size();
      }
      outcome.transferred = a.ownCount ? a.transferred : static_cast<std::uint32_t>(n);
      if (a.kind == Answer::Kind::NotCarriedOut) {
        outcome.platformError = 1117;  // an I/O error of the platform
      } else {
        outcome.carriedOut = true;
        outcome.scsiStatus = a.kind == Answer::Kind::CheckCondition ? 2 : 0;
      }
    }
    sent.succeeded = outcome.opened && outcome.carriedOut && outcome.scsiStatus == 0;
    commands.push_back(std::move(sent));
    return outcome;
  }

  std::size_t CountOf(std::string_view kind) const {
    return static_cast<std::size_t>(std::count_if(
        commands.begin(), commands.end(), [kind](const SentCommand& c) { return c.kind == kind; }));
  }
  bool AnyDataOut() const {
    return std::any_of(commands.begin(), commands.end(), [](const SentCommand& c) {
      return c.direction == device::DataDirection::Out;
    });
  }

  std::vector<SentCommand> commands;

 private:
  AnswerFor answerFor_;
};

inline Answer Rejected() { return Answer{Answer::Kind::CheckCondition, {}, false, 0}; }
inline Answer Good(std::vector<std::uint8_t> data) {
  return Answer{Answer::Kind::Good, std::move(data), false, 0};
}

}  // namespace corvane::fuzz
