// corvane-usb-gadget: puts one virtual adaptor of the bridge simulator on a USB device controller as a
// Bulk-Only mass-storage device, so that a Linux host's own usb-storage, sd and sg drivers talk to it.
//
//   corvane-usb-gadget --name NAME --udc dummy_udc.0 (--scenario NAME | --scenario-file FILE | --plain-disk)
//                      [--device N] [--pid 0x0260] [--serial TEXT] [--trace FILE [--trace-data]]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "sim/scenario.h"
#include "sim/sim.h"
#include "tools/usb_gadget/bulk_only.h"
#include "tools/usb_gadget/functionfs_gadget.h"
#include "tools/usb_gadget/plain_disk.h"

namespace corvane::tools::usb_gadget {
namespace {

struct Options {
  GadgetIdentity identity;
  std::string scenario;
  std::string scenarioFile;
  bool plainDisk = false;
  std::size_t device = 0;
  std::string traceFile;
  bool traceData = false;  // every data byte of a command in its trace line
};

[[noreturn]] void Usage(const char* message) {
  std::fprintf(stderr,
               "corvane-usb-gadget: %s\n"
               "usage: corvane-usb-gadget --name NAME --udc UDC (--scenario NAME | --scenario-file FILE |"
               " --plain-disk)\n"
               "       [--device N] [--vid 0x3c9f] [--pid 0x0001] [--serial TEXT] [--product TEXT]"
               " [--trace FILE [--trace-data]]\n",
               message);
  std::exit(1);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(("missing value after " + arg).c_str());
      return argv[++i];
    };
    if (arg == "--name") o.identity.name = value();
    else if (arg == "--udc") o.identity.udc = value();
    else if (arg == "--scenario") o.scenario = value();
    else if (arg == "--scenario-file") o.scenarioFile = value();
    else if (arg == "--plain-disk") o.plainDisk = true;
    else if (arg == "--device") o.device = std::stoul(value());
    else if (arg == "--vid") o.identity.vendorId = static_cast<std::uint16_t>(std::stoul(value(), nullptr, 0));
    else if (arg == "--pid") o.identity.productId = static_cast<std::uint16_t>(std::stoul(value(), nullptr, 0));
    else if (arg == "--serial") o.identity.serial = value();
    else if (arg == "--product") o.identity.product = value();
    else if (arg == "--trace") o.traceFile = value();
    else if (arg == "--trace-data") o.traceData = true;
    else Usage(("unknown argument " + arg).c_str());
  }
  if (o.identity.name.empty() || o.identity.udc.empty()) Usage("--name and --udc are required");
  if (static_cast<int>(o.plainDisk) + !o.scenario.empty() + !o.scenarioFile.empty() != 1) {
    Usage("choose one of --scenario, --scenario-file, --plain-disk");
  }
  return o;
}

// Milliseconds on the clock behind /proc/uptime, so that the guest's scripts can set trace lines
// against their own time stamps.
unsigned long long UptimeMs() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<unsigned long long>(now.tv_sec) * 1000ULL + static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
}

// "  data=0A1BFF...": the bytes of a data phase in one word, so that no pattern of a command block
// ("  3B 0E ") can match inside it.
std::string DataText(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "  data=";
  text.reserve(text.size() + bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

// Runs the model on the wall clock (busy flags, pauses) and writes one trace line per command:
// with traceData also the bytes the host sent (data-out) or the bridge answered (data-in).
class LiveBridge : public sim::SimBridge {
 public:
  LiveBridge(std::unique_ptr<sim::SimBridge> inner, sim::VirtualClock& clock, std::string name,
             std::FILE* trace, bool traceData)
      : inner_(std::move(inner)), clock_(clock), name_(std::move(name)), trace_(trace),
        traceData_(traceData) {}

  sim::CommandAnswer Execute(std::span<const std::uint8_t> cdb, device::DataDirection direction,
                             std::span<std::uint8_t> data) override {
    FollowWallClock();
    std::string sent;
    if (trace_ != nullptr && traceData_ && direction == device::DataDirection::Out) {
      sent = DataText(data);
    }
    const sim::CommandAnswer answer = inner_->Execute(cdb, direction, data);
    if (trace_ != nullptr && traceData_ && direction == device::DataDirection::In) {
      sent = DataText(data.first(std::min<std::size_t>(answer.transferred, data.size())));
    }
    if (trace_ != nullptr) {
      device::TraceEntry entry;
      entry.path = name_;
      entry.cdb.assign(cdb.begin(), cdb.end());
      entry.direction = direction;
      entry.length = static_cast<std::uint32_t>(data.size());
      entry.opened = true;
      entry.carriedOut = !answer.timedOut && !answer.unplugged;
      entry.scsiStatus = answer.scsiStatus;
      entry.transferred = answer.transferred;
      std::fprintf(trace_, "t=%llu %s%s%s\n", UptimeMs(), device::FormatTraceEntry(entry).c_str(),
                   answer.unplugged ? "  (unplugged)" : answer.timedOut ? "  (no answer)" : "",
                   sent.c_str());
      std::fflush(trace_);
    }
    return answer;
  }
  std::array<std::uint8_t, 4> FirmwareVersion() const override { return inner_->FirmwareVersion(); }
  bool RomMode() const override { return inner_->RomMode(); }
  std::span<const std::uint8_t> Flash() const override { return inner_->Flash(); }
  std::span<const std::uint8_t> Nvram() const override { return inner_->Nvram(); }
  void PowerCycle() override {
    FollowWallClock();
    inner_->PowerCycle();
    if (trace_ != nullptr) {
      std::fprintf(trace_, "t=%llu power cycle: firmware %d.%d.%d.%d%s\n", UptimeMs(), inner_->FirmwareVersion()[0],
                   inner_->FirmwareVersion()[1], inner_->FirmwareVersion()[2], inner_->FirmwareVersion()[3],
                   inner_->RomMode() ? " (boot ROM)" : "");
      std::fflush(trace_);
    }
  }

 private:
  void FollowWallClock() {
    const auto now = std::chrono::steady_clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - last_).count();
    if (elapsed > 0) {
      clock_.AdvanceMs(static_cast<std::uint64_t>(elapsed));
      last_ += std::chrono::milliseconds(elapsed);
    }
  }

  std::unique_ptr<sim::SimBridge> inner_;
  sim::VirtualClock& clock_;
  std::string name_;
  std::FILE* trace_;
  bool traceData_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

std::unique_ptr<sim::SimBridge> MakeModel(const Options& o, sim::VirtualClock& clock) {
  if (o.plainDisk) return std::make_unique<PlainDisk>();
  sim::Scenario scenario;
  if (!o.scenarioFile.empty()) {
    scenario = sim::LoadScenarioFile(o.scenarioFile);
  } else {
    auto builtIn = sim::BuiltInScenario(o.scenario);
    if (!builtIn) {
      std::string names;
      for (const auto& n : sim::BuiltInScenarioNames()) names += " " + n;
      Usage(("unknown scenario " + o.scenario + "; built-in:" + names).c_str());
    }
    scenario = *builtIn;
  }
  if (o.device >= scenario.devices.size()) Usage("--device is beyond the scenario's devices");
  return sim::MakeSimBridge(scenario.devices[o.device], clock);
}

int Run(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  sim::VirtualClock clock;
  std::FILE* trace = o.traceFile.empty() ? nullptr : std::fopen(o.traceFile.c_str(), "a");
  LiveBridge bridge(MakeModel(o, clock), clock, o.identity.name, trace, o.traceData);
  std::mutex bridgeLock;

  FunctionFsGadget gadget(o.identity);
  gadget.Create();
  std::thread control([&] {
    try {
      gadget.RunControl([&] {
        std::lock_guard lock(bridgeLock);
        bridge.PowerCycle();
      });
    } catch (const std::exception& e) {
      std::fprintf(stderr, "gadget %s: %s\n", o.identity.name.c_str(), e.what());
      std::_Exit(2);
    }
  });
  gadget.Plug();
  std::fprintf(stderr, "gadget %s: plugged into %s\n", o.identity.name.c_str(), o.identity.udc.c_str());

  BulkOnlyTarget target(gadget, bridge, bridgeLock, 512);
  for (;;) {
    switch (target.ServeOne()) {
      case ServeResult::Answered:
      case ServeResult::Abandoned:
        break;
      case ServeResult::Unplugged:
        // The model lost its connection in the middle of a command: detach for real; whoever drives
        // the test plugs it in again (the bridge is power-cycled on the unbind).
        gadget.Unplug();
        break;
      case ServeResult::PipeGone:
      case ServeResult::InvalidWrapper:
        // Endpoints go away on reset and unplug; reads block again until the host enables them.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        break;
    }
  }
}

}  // namespace
}  // namespace corvane::tools::usb_gadget

int main(int argc, char** argv) {
  try {
    return corvane::tools::usb_gadget::Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvane-usb-gadget: %s\n", e.what());
    return 2;
  }
}
