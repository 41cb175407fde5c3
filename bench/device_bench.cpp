// corvane-bench: what the portable core costs the host, on the simulator's virtual adaptors and on
// virtual time (no real waiting is timed).
//
//   transport-in/N, transport-out/N   PassThroughIn/Out of N bytes through a port that only copies
//                                     the data phase, as a driver would
//   port-in/N, port-out/N             the same port called directly with a request built once: the
//                                     floor the transport adds its staging, copies and log to
//   update/kts260, update/kts210      a whole update on a simulated bridge: UpdateFirmware and the
//                                     NVRAM rewrite, every block written and read back
//   identify/kts260, identify/kts210  IdentifyChip of a simulated bridge
//   scan/16                           the scan of 16 candidates (discovery, INQUIRY, identification)
//
// After the table it prints each transport/port ratio of CPU times, from the medians when
// repetitions are asked for (--benchmark_repetitions=N), so the ratios come from one run of one
// process.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/device_scan.h"
#include "device/aligned_buffer.h"
#include "device/chip_identification.h"
#include "device/command_trace.h"
#include "device/pass_through.h"
#include "device/platform.h"
#include "device/scsi_port.h"
#include "firmware/chip_profiles.h"
#include "firmware/flash_programming.h"
#include "firmware/nvram_rewrite.h"
#include "sim/scenario.h"
#include "sim/sim.h"

namespace {

using namespace corvane;

constexpr std::uint32_t kLargestTransfer = 65536;

// A device that keeps what it is sent and hands it back: the port's work is the copy of the data
// phase that a driver makes, nothing more, so what the transport adds stands out.
class CopyingPort : public device::ScsiPort {
 public:
  device::ScsiOutcome Execute(std::string_view, const device::ScsiRequest& request) override {
    const std::size_t n = std::min(request.data.size(), memory_.size());
    if (request.direction == device::DataDirection::In) {
      std::memcpy(request.data.data(), memory_.data(), n);
    } else {
      std::memcpy(memory_.data(), request.data.data(), n);
    }
    device::ScsiOutcome outcome;
    outcome.opened = true;
    outcome.carriedOut = true;
    outcome.transferred = static_cast<std::uint32_t>(n);
    return outcome;
  }

 private:
  std::vector<std::uint8_t> memory_ = std::vector<std::uint8_t>(kLargestTransfer, 0x5A);
};

// READ BUFFER / WRITE BUFFER with a 24-bit length, as the update sends them.
std::array<std::uint8_t, 10> BufferBlock(std::uint8_t opcode, std::uint32_t length) {
  return {opcode, opcode == 0x3C ? std::uint8_t{0x01} : std::uint8_t{0x0E}, 0, 0, 0, 0,
          static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length), 0};
}

struct CopyingRig {
  sim::VirtualClock clock;
  sim::SimHost host{clock};
  CopyingPort port;
  device::CommandLog log;  // the live platform logs every command too
  device::ScopedPlatform platform{device::Platform{&port, nullptr, &host, &log}};
};

void TransportIn(benchmark::State& state) {
  CopyingRig rig;
  const auto length = static_cast<std::uint32_t>(state.range(0));
  const auto cdb = BufferBlock(0x3C, length);
  std::vector<std::uint8_t> buffer(length);
  std::uint32_t transferred = 0;
  for (auto _ : state) {
    if (device::PassThroughIn("sim:bench", cdb.data(), cdb.size(), buffer.data(), length,
                              &transferred) != 1) {
      state.SkipWithError("the command failed");
      break;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * length);
}

void TransportOut(benchmark::State& state) {
  CopyingRig rig;
  const auto length = static_cast<std::uint32_t>(state.range(0));
  const auto cdb = BufferBlock(0x3B, length);
  std::vector<std::uint8_t> buffer(length, 0xA5);
  std::uint32_t transferred = 0;
  for (auto _ : state) {
    if (device::PassThroughOut("sim:bench", cdb.data(), cdb.size(), buffer.data(), length,
                               &transferred) != 1) {
      state.SkipWithError("the command failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * length);
}

// The floor: the port called with buffers the caller already has, as the transport calls it.
void PortCall(benchmark::State& state, device::DataDirection direction) {
  CopyingPort port;
  const auto length = static_cast<std::uint32_t>(state.range(0));
  const auto cdb = BufferBlock(direction == device::DataDirection::In ? 0x3C : 0x3B, length);
  device::AlignedBlock data(length);
  device::AlignedBlock record(1068);
  device::ScsiRequest request;
  request.cdb = cdb;
  request.direction = direction;
  request.data = std::span<std::uint8_t>(data.data(), length);
  request.record = std::span<std::uint8_t>(record.data(), 1068);
  request.openMode = direction == device::DataDirection::In ? device::OpenMode::Shared
                                                            : device::OpenMode::Exclusive;
  for (auto _ : state) {
    benchmark::DoNotOptimize(port.Execute("sim:bench", request));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * length);
}
void PortIn(benchmark::State& state) { PortCall(state, device::DataDirection::In); }
void PortOut(benchmark::State& state) { PortCall(state, device::DataDirection::Out); }

// Virtual adaptors wired in as the live platform, with the log the live platform has.
struct SimRig {
  explicit SimRig(std::vector<sim::DeviceConfig> devices)
      : world(sim::ScenarioOf(std::move(devices)), clock), platform(world.MakePlatform(host)) {}
  sim::VirtualClock clock;
  sim::SimHost host{clock};
  sim::SimWorld world;
  device::ScopedPlatform platform;
};

class QuietForm : public firmware::UpdateContext {
 public:
  explicit QuietForm(std::uint8_t chip) : chip_(chip) {}
  std::uint8_t ChipCode() const override { return chip_; }
  void SetProgress(int) override {}
  void ProcessPendingMessages() override {}

 private:
  std::uint8_t chip_;
};

void Update(benchmark::State& state, sim::ChipFamily family) {
  SimRig rig({sim::DefaultDeviceConfig(family)});
  const std::string path = rig.world.PathOf(0);
  const std::uint8_t chip =
      family == sim::ChipFamily::Kts260 ? device::kChipCodeKts260 : device::kChipCodeKts210;
  const firmware::ChipProfile* profile = firmware::FindChipProfile(chip);
  QuietForm form(chip);
  std::size_t commands = 0;
  for (auto _ : state) {
    rig.world.ClearTrace();
    if (!firmware::UpdateFirmware(form, path) ||
        !firmware::RewriteNvramVendorStrings(form, path, profile->nvramAddress)) {
      state.SkipWithError("the update failed");
      break;
    }
    commands = rig.world.Trace().size();
  }
  state.counters["commands"] = static_cast<double>(commands);
}
void UpdateKts260(benchmark::State& state) { Update(state, sim::ChipFamily::Kts260); }
void UpdateKts210(benchmark::State& state) { Update(state, sim::ChipFamily::Kts210); }

void Identify(benchmark::State& state, sim::ChipFamily family, std::uint8_t expected) {
  SimRig rig({sim::DefaultDeviceConfig(family)});
  const std::string path = rig.world.PathOf(0);
  for (auto _ : state) {
    if (device::ChipCodeOf(device::IdentifyChip(path)) != expected) {
      state.SkipWithError("not identified");
      break;
    }
    rig.world.ClearTrace();
  }
}
void IdentifyKts260(benchmark::State& state) {
  Identify(state, sim::ChipFamily::Kts260, device::kChipCodeKts260);
}
void IdentifyKts210(benchmark::State& state) {
  Identify(state, sim::ChipFamily::Kts210, device::kChipCodeKts210);
}

// Sixteen USB candidates, as many as the scan has slots: bridges of both kinds and plain sticks,
// which answer no vendor command and are probed and left out.
void Scan16(benchmark::State& state) {
  std::vector<sim::DeviceConfig> devices;
  for (int i = 0; i < 16; ++i) {
    const sim::ChipFamily family = i % 4 == 3   ? sim::ChipFamily::UsbStick
                                   : i % 2 == 0 ? sim::ChipFamily::Kts260
                                                : sim::ChipFamily::Kts210;
    devices.push_back(sim::DefaultDeviceConfig(family));
  }
  SimRig rig(std::move(devices));
  std::size_t listed = 0;
  for (auto _ : state) {
    const app::ScanResult result = app::ScanBridgeDevices();
    listed = result.listed.size();
    // Discovery admits only what answers the bridge's identification: the 12 bridges.
    if (result.foundDiskCount != 12 || listed != 12) {
      state.SkipWithError("the scan did not admit and list the 12 bridges of the 16 candidates");
      break;
    }
    rig.world.ClearTrace();
  }
  state.counters["listed"] = static_cast<double>(listed);
}

void Register() {
  using Function = void (*)(benchmark::State&);
  const std::pair<const char*, Function> perCommand[] = {{"transport-in", &TransportIn},
                                                         {"port-in", &PortIn},
                                                         {"transport-out", &TransportOut},
                                                         {"port-out", &PortOut}};
  for (const auto& [name, function] : perCommand) {
    benchmark::RegisterBenchmark(name, function)->RangeMultiplier(16)->Range(2, kLargestTransfer);
  }
  benchmark::RegisterBenchmark("update/kts260", UpdateKts260)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("update/kts210", UpdateKts210)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("identify/kts260", IdentifyKts260)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("identify/kts210", IdentifyKts210)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("scan/16", Scan16)->Unit(benchmark::kMicrosecond);
}

// The console table as usual, then the transport/port ratios of this run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) {
        failed_ = true;
        continue;
      }
      // One figure per benchmark: the median of the repetitions, or the single run.
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Iteration && run.repetitions > 1) continue;
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      // CPU time: on a shared build machine the wall clock also counts other programs' turns.
      nanoseconds_[name] =
          run.GetAdjustedCPUTime() * benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
          benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* direction : {"in", "out"}) {
      for (const std::uint32_t size : {2u, 16u, 256u, 4096u, kLargestTransfer}) {
        const std::string suffix = std::string(direction) + "/" + std::to_string(size);
        const auto ours = nanoseconds_.find("transport-" + suffix);
        const auto floor = nanoseconds_.find("port-" + suffix);
        if (ours == nanoseconds_.end() || floor == nanoseconds_.end() || floor->second <= 0) continue;
        std::printf("ratio transport/port data-%-3s %6u bytes  %7.2f  (%.0f ns / %.0f ns)\n",
                    direction, size, ours->second / floor->second, ours->second, floor->second);
      }
    }
    std::fflush(stdout);
  }

 private:
  std::map<std::string, double> nanoseconds_;
  bool failed_ = false;

 public:
  bool Failed() const { return failed_; }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Register();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.Failed() ? 1 : 0;  // a benchmark whose flow failed timed nothing worth keeping
}
