// A scripted bridge behind a recording port, a disk list and a host on virtual time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "device/aligned_buffer.h"
#include "device/disk_source.h"
#include "device/host_services.h"
#include "device/platform.h"
#include "device/scsi_port.h"
#include "tests/support/runaway_guard.h"

namespace corvane::device::testing {

using Bytes = std::vector<std::uint8_t>;

struct Reply {
  bool opened = true;
  bool carriedOut = true;
  std::uint32_t platformError = 0;
  std::uint8_t scsiStatus = 0;
  Bytes answer;  // copied into the start of a data-in transfer
};
inline Reply Rejected() { return {true, true, 0, 2, {}}; }  // CHECK CONDITION
inline Reply Unopenable() { return {false, false, 0, 0, {}}; }
inline Reply Answer(Bytes answer) { return {true, true, 0, 0, std::move(answer)}; }

struct Call {
  std::string path;
  Bytes cdb;
  DataDirection direction;
  Bytes data;  // the transfer buffer as the port saw it
  std::uint32_t timeoutSeconds;
  OpenMode openMode;
  bool aligned;       // data (if any) and record start on 8 KiB boundaries
  bool recordZeroed;  // the 1068-byte record block arrived zero-filled
};

inline bool StartsWith(const Bytes& bytes, const Bytes& prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}
inline bool Aligned(const void* p) {
  return reinterpret_cast<std::uintptr_t>(p) % kTransferAlignment == 0;
}

// The first rule whose block prefix (and path, when given) matches answers; anything else is rejected.
class FakePort : public ScsiPort {
 public:
  struct Rule {
    Rule(Bytes p, Reply r, std::string onPath = {})
        : prefix(std::move(p)), reply(std::move(r)), path(std::move(onPath)) {}
    Bytes prefix;
    Reply reply;
    std::string path;  // empty: every path
  };
  std::vector<Rule> rules;
  std::function<Reply(const Call&)> responder;  // takes precedence when set
  std::vector<Call> calls;

  ScsiOutcome Execute(std::string_view path, const ScsiRequest& r) override {
    const bool recordZeroed = r.record.size() == 1068 &&
        std::all_of(r.record.begin(), r.record.end(), [](std::uint8_t b) { return b == 0; });
    Call call{std::string(path), Bytes(r.cdb.begin(), r.cdb.end()), r.direction,
              Bytes(r.data.begin(), r.data.end()), r.timeoutSeconds, r.openMode,
              Aligned(r.record.data()) && (r.data.empty() || Aligned(r.data.data())), recordZeroed};
    calls.push_back(call);
    const Reply reply = responder ? responder(call) : Match(call);
    if (!reply.opened) return {};
    if (r.direction == DataDirection::In) {
      std::copy_n(reply.answer.begin(), std::min(reply.answer.size(), r.data.size()), r.data.begin());
    }
    return {true, reply.carriedOut, reply.platformError, reply.scsiStatus,
            static_cast<std::uint32_t>(std::min<std::size_t>(reply.answer.size(), r.data.size()))};
  }

  std::vector<std::uint8_t> Opcodes() const {
    std::vector<std::uint8_t> ops;
    for (const Call& c : calls) ops.push_back(c.cdb.at(0));
    return ops;
  }

 private:
  Reply Match(const Call& call) const {
    for (const Rule& rule : rules) {
      if (StartsWith(call.cdb, rule.prefix) && (rule.path.empty() || rule.path == call.path)) {
        return rule.reply;
      }
    }
    return Rejected();
  }
};

class FakeDisks : public DiskSource {
 public:
  bool available = true;
  std::vector<DiskInterface> interfaces;
  bool ListDiskInterfaces(std::vector<DiskInterface>& out) override {
    if (available) out = interfaces;
    return available;
  }
};

class FakeHost : public HostServices {
 public:
  std::uint64_t nowMs = 0;
  std::vector<std::pair<std::string, std::string>> boxes;
  // Ten minutes of virtual time: no device test waits more than seconds, and a wait that never
  // ends gets there within a moment.
  std::uint64_t boundMs = 10 * 60 * 1000;
  void SleepMs(std::uint32_t ms) override {
    nowMs += ms;
    if (nowMs > boundMs) {
      test_support::StopRunawayTest("the host slept " + std::to_string(nowMs) + " ms of virtual " +
                                    "time, past the bound of " + std::to_string(boundMs) + " ms");
    }
  }
  void DebugOutput(std::string_view) override {}
  void ShowErrorBox(std::string_view text, std::string_view caption) override {
    boxes.emplace_back(text, caption);
  }
};

// Wires the three fakes for one test and unwires them afterwards.
struct FakeDevice {
  FakePort port;
  FakeDisks disks;
  FakeHost host;
  ScopedPlatform scope{Platform{&port, &disks, &host}};
};

}  // namespace corvane::device::testing
