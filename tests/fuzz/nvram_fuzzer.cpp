// The 512-byte NVRAM block: the rebranding of its identification fields, the write and the
// read-back, with every answer from the fuzzer.
#include <array>
#include <cstring>

#include "device/platform.h"
#include "firmware/nvram_rewrite.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

namespace {

class Context : public firmware::UpdateContext {
 public:
  explicit Context(std::uint8_t code) : code_(code) {}
  std::uint8_t ChipCode() const override { return code_; }
  void SetProgress(int) override {}
  void ProcessPendingMessages() override {}

 private:
  std::uint8_t code_;
};

char Upper(std::uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : static_cast<char>(c); }

// Where "QUORVEL" stands in an 8-byte field, read case-insensitively up to its first zero byte.
int MakerNameAt(const std::uint8_t* field) {
  std::size_t end = 0;
  while (end < 8 && field[end] != 0) ++end;
  for (std::size_t p = 0; p + 7 <= end; ++p) {
    bool match = true;
    for (std::size_t i = 0; i < 7 && match; ++i) match = Upper(field[p + i]) == "QUORVEL"[i];
    if (match) return static_cast<int>(p);
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  constexpr std::uint8_t kCodes[] = {0x13, 0x16, 0x00, 0x08};
  const std::uint8_t code = kCodes[fuzz.ConsumeIntegralInRange<std::size_t>(0, 3)];
  const std::uint32_t address = fuzz.ConsumeBool() ? 0xD000 : 0x11000;
  const fuzz::Answer firstRead = fuzz::FuzzedAnswer(fuzz, 0);
  const fuzz::Answer write = fuzz::FuzzedAnswer(fuzz, 0);
  const fuzz::Answer secondRead = fuzz::FuzzedAnswer(fuzz, 0);
  const bool secondReadEchoes = fuzz.ConsumeBool();  // the bridge returns what was written
  const int busyReads = fuzz.ConsumeIntegralInRange(0, 12);
  std::array<std::uint8_t, 512> stored{};
  const auto block = fuzz.ConsumeBytes<std::uint8_t>(512);
  std::copy(block.begin(), block.end(), stored.begin());
  const auto secondBlock = fuzz.ConsumeRemainingBytes<std::uint8_t>();

  std::array<std::uint8_t, 512> read = stored;
  std::vector<std::uint8_t> written;
  int statusReads = 0;
  fuzz::ScriptedPort port([&](const fuzz::SentCommand& c) {
    if (c.kind == "ReadBridgeStatus") return fuzz::Good({++statusReads <= busyReads ? std::uint8_t{1} : std::uint8_t{0}});
    if (c.kind == "WriteChipMemory") return write;
    if (c.kind != "ReadChipMemory") return fuzz::Rejected();
    fuzz::Answer a = written.empty() ? firstRead : secondRead;
    a.data = written.empty() ? std::vector<std::uint8_t>(stored.begin(), stored.end())
             : secondReadEchoes ? written : secondBlock;
    return a;
  });
  // The data a write carried, as the port saw it (the transport stages it in its own buffer).
  struct Recorder : device::ScsiPort {
    fuzz::ScriptedPort& inner;
    std::vector<std::uint8_t>& written;
    Recorder(fuzz::ScriptedPort& i, std::vector<std::uint8_t>& w) : inner(i), written(w) {}
    device::ScsiOutcome Execute(std::string_view path, const device::ScsiRequest& r) override {
      if (r.direction == device::DataDirection::Out) written.assign(r.data.begin(), r.data.end());
      return inner.Execute(path, r);
    }
  } recorder(port, written);
  fuzz::FuzzHost host;
  device::ScopedPlatform platform(device::Platform{&recorder, nullptr, &host, nullptr});

  Context form(code);
  const bool ok = firmware::RewriteNvramVendorStrings(form, "sim/usbstor/0", address);

  const bool updatable = code == 0x13 || code == 0x16;
  const bool readOk = firstRead.kind == fuzz::Answer::Kind::Good;
  for (const auto& c : port.commands) {
    if (c.kind == "ReadChipMemory" || c.kind == "WriteChipMemory") {
      FUZZ_REQUIRE(c.length == 512);
      const std::uint32_t at = std::uint32_t{c.cdb[8]} << 16 | std::uint32_t{c.cdb[9]} << 8 | c.cdb[10];
      FUZZ_REQUIRE(at == address);
    }
    if (c.kind == "WriteChipMemory") FUZZ_REQUIRE(c.cdb[1] == 0x01);
  }
  if (!readOk || !updatable) {
    FUZZ_REQUIRE(written.empty());
    FUZZ_REQUIRE(ok == readOk);
    return 0;
  }
  FUZZ_REQUIRE(written.size() == 512);
  // Outside the three fields the block goes back as read; each field holds the brand where the
  // maker's name stood, and nothing else changes.
  for (std::size_t i = 0; i < 512; ++i) {
    if (i < 200 || i >= 224) FUZZ_REQUIRE(written[i] == read[i]);
  }
  for (const std::size_t field : {200u, 208u, 216u}) {
    const int at = MakerNameAt(&read[field]);
    for (std::size_t i = 0; i < 8; ++i) {
      const bool branded = at >= 0 && i >= static_cast<std::size_t>(at) && i < static_cast<std::size_t>(at) + 7;
      FUZZ_REQUIRE(written[field + i] == (branded ? "Corvane"[i - at] : read[field + i]));
    }
  }
  // Success only when the write was taken and the block read back equal.
  const bool writeOk = write.kind == fuzz::Answer::Kind::Good;
  std::vector<std::uint8_t> back = secondReadEchoes ? written : secondBlock;
  back.resize(512, 0);
  const bool expected = writeOk && secondRead.kind == fuzz::Answer::Kind::Good && back == written;
  FUZZ_REQUIRE(ok == expected);
  if (!ok) FUZZ_REQUIRE(!host.debugTexts.empty());
  return 0;
}
