// INQUIRY data: the device list's entry text, the chip model of older bridges at bytes 36-39, and
// the scan that reads both; every other command is refused.
#include <cstring>

#include "app/device_scan.h"
#include "device/chip_identification.h"
#include "device/platform.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

namespace {

class OnePath : public device::DiskSource {
 public:
  bool ListDiskInterfaces(std::vector<device::DiskInterface>& interfaces) override {
    interfaces = {device::DiskInterface{std::string("sim/usbstor/0")}};
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  const fuzz::Answer inquiry = fuzz::FuzzedAnswer(fuzz, 48);
  const bool answersIdWord = fuzz.ConsumeBool();  // admits the device to the scan
  std::vector<std::uint8_t> answer(inquiry.data);
  answer.resize(40, 0);

  const std::string text = app::InquiryEntryText(answer.data());
  FUZZ_REQUIRE(text.size() <= 24);
  FUZZ_REQUIRE(text.find('\0') == std::string::npos);
  FUZZ_REQUIRE(std::memcmp(text.data(), &answer[8], text.size()) == 0);

  fuzz::ScriptedPort port([&](const fuzz::SentCommand& c) {
    if (c.kind == "ScsiInquiry") return inquiry;
    if (c.kind == "ReadChipIdWord" && answersIdWord) return fuzz::Good({0, 0});
    return fuzz::Rejected();
  });
  OnePath disks;
  fuzz::FuzzHost host;
  device::ScopedPlatform platform(device::Platform{&port, &disks, &host, nullptr});

  const std::uint8_t code = device::ChipCodeOf(device::IdentifyChip("sim/usbstor/0"));
  FUZZ_REQUIRE(code <= 39);
  FUZZ_REQUIRE(!port.AnyDataOut());
  const bool inquiryOk = inquiry.kind == fuzz::Answer::Kind::Good;
  if (inquiryOk && answer[36] == 'j' && std::memcmp(&answer[37], "260", 3) == 0) {
    // The NVMe bridge by its INQUIRY alone: nothing more is asked.
    FUZZ_REQUIRE(code == 22 && port.commands.size() == 1);
  }
  if (inquiryOk && answer[36] == 'j' && std::memcmp(&answer[37], "217", 3) == 0) FUZZ_REQUIRE(code == 19);
  if (!inquiryOk || answer[36] != 'j') {
    // Every vendor answer is refused here, so nothing else can name a chip.
    FUZZ_REQUIRE(code == 0);
  }

  // The scan lists the device with its entry text and bus prefix, or not at all.
  port.commands.clear();
  const app::ScanResult scan = app::ScanBridgeDevices();
  FUZZ_REQUIRE(scan.listed.size() <= 1);
  if (!scan.listed.empty()) {
    FUZZ_REQUIRE(scan.listed[0].model == (inquiryOk ? text : std::string()));
    FUZZ_REQUIRE(scan.listed[0].ItemText() == "<<USB>> " + scan.listed[0].model);
    FUZZ_REQUIRE(device::ChipCodeOf(scan.listed[0].chipId) != 0);
  }
  FUZZ_REQUIRE(!port.AnyDataOut());
  return 0;
}
