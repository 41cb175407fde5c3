// The start-up scan and update check through TForm1, with device changes and rescans, against
// adaptors whose every answer may fail or lie: an offer or "up to date" only when every read of
// the check passed, nothing is ever written, no rescan runs inside another operation.
#include "tests/fuzz/flow_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  corvane::fuzz::FlowHarness(data, size, corvane::fuzz::FlowKind::Check).Run();
  return 0;
}
