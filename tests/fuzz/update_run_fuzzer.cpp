// The whole journey through TForm1: scan, check, the user's click and the update run, with device
// changes and clicks inside the run, against adaptors whose every answer may fail or lie.
// "Update complete" only when the flash holds the carried firmware area and the NVRAM block was
// written and read back equal; writes only to the device the check offered.
#include "tests/fuzz/flow_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  corvane::fuzz::FlowHarness(data, size, corvane::fuzz::FlowKind::Run).Run();
  return 0;
}
