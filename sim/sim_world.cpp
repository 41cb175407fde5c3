// A set of virtual adaptors behind a ScsiPort and a DiskSource, with the command trace.
#include <algorithm>

#include "device/ascii_text.h"

#include "sim/scenario.h"
#include "sim/sim.h"

namespace corvane::sim {

using namespace device;
namespace {

// Error codes the virtual platform reports for a command that was not carried out.
constexpr std::uint32_t kErrorTimeout = 1460;        // the command's time-out expired
constexpr std::uint32_t kErrorDeviceGone = 1167;     // the device is no longer connected
constexpr std::uint32_t kErrorAccessDenied = 5;      // no rights to open the device
constexpr std::uint32_t kErrorSharingViolation = 32; // another opener holds the device

std::string_view BusFolder(Bus bus) {
  switch (bus) {
    case Bus::Usb: return "usbstor";
    case Bus::Uas: return "scsi";
    case Bus::Ieee1394: return "sbp2";
    case Bus::Internal: return "ata";
  }
  return "ata";
}

}  // namespace

struct SimWorld::Impl {
  struct Device {
    std::shared_ptr<const DeviceConfig> config;
    std::unique_ptr<SimBridge> bridge;
    std::string path;
    bool plugged = true;
    bool heldByOther = false;
  };

  class Port : public ScsiPort {
   public:
    explicit Port(Impl& world) : world_(world) {}
    ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
      return world_.Execute(path, request);
    }
    bool IsSimulated() const override { return true; }

   private:
    Impl& world_;
  };

  class Source : public DiskSource {
   public:
    explicit Source(Impl& world) : world_(world) {}
    bool ListDiskInterfaces(std::vector<DiskInterface>& interfaces) override {
      interfaces.clear();
      for (const auto& d : world_.devices) {
        if (!d.plugged) continue;
        DiskInterface i;
        if (!d.config->pathUnreadable) i.path = d.path;
        if (d.config->bus == Bus::Usb || d.config->bus == Bus::Uas) {
          i.usbVendorId = d.config->usbVendorId;
          i.usbProductId = d.config->usbProductId;
        }
        interfaces.push_back(std::move(i));
      }
      return true;
    }

   private:
    Impl& world_;
  };

  Impl(const Scenario& scenario, VirtualClock& c) : clock(c), port(*this), source(*this) {
    for (std::size_t i = 0; i < scenario.devices.size(); ++i) {
      Device d;
      d.config = scenario.devices[i];
      d.bridge = MakeSimBridge(d.config, clock);
      d.path = "sim/" + std::string(BusFolder(d.config->bus)) + "/" + std::to_string(i);
      devices.push_back(std::move(d));
    }
  }

  Device* Find(std::string_view path) {
    const std::string wanted = LowerCaseAscii(path);
    for (auto& d : devices) {
      if (d.path == wanted) return &d;
    }
    return nullptr;
  }

  void SetPlugged(std::size_t index, bool plugged) {
    Device& d = devices.at(index);
    if (d.plugged == plugged) return;
    d.plugged = plugged;
    if (plugged) d.bridge->PowerCycle();
    if (plugListener) plugListener(index, plugged);
  }

  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) {
    ScsiOutcome outcome;
    Device* device = Find(path);
    if (device != nullptr && device->plugged && device->config->accessDenied) {
      outcome.platformError = kErrorAccessDenied;
      outcome.accessDenied = true;
    } else if (device != nullptr && device->plugged && device->heldByOther &&
               request.openMode == OpenMode::Exclusive) {
      outcome.platformError = kErrorSharingViolation;
    } else if (device != nullptr && device->plugged) {
      outcome.opened = true;
      const CommandAnswer answer =
          device->bridge->Execute(request.cdb, request.direction, request.data);
      if (answer.timedOut) {
        clock.AdvanceMs(std::uint64_t{request.timeoutSeconds} * 1000);
        outcome.platformError = kErrorTimeout;
      } else if (answer.unplugged) {
        outcome.platformError = kErrorDeviceGone;
        SetPlugged(static_cast<std::size_t>(device - devices.data()), false);
      } else {
        outcome.carriedOut = true;
        outcome.scsiStatus = answer.scsiStatus;
        outcome.transferred = answer.transferred;
      }
    }
    if (trace.size() >= kTraceLimit) {
      trace.erase(trace.begin(), trace.begin() + static_cast<std::ptrdiff_t>(kTraceLimit / 2));
    }
    trace.push_back(MakeTraceEntry(path, request, outcome));
    ++traceCount;
    if (traceSink) traceSink(trace.back());
    return outcome;
  }

  VirtualClock& clock;
  std::vector<Device> devices;
  Port port;
  Source source;
  std::vector<TraceEntry> trace;
  std::uint64_t traceCount = 0;
  std::function<void(const TraceEntry&)> traceSink;
  std::function<void(std::size_t, bool)> plugListener;
  CommandLog log;
};

SimWorld::SimWorld(const Scenario& scenario, VirtualClock& clock)
    : impl_(std::make_unique<Impl>(scenario, clock)) {}
SimWorld::~SimWorld() = default;

ScsiPort& SimWorld::Port() { return impl_->port; }
DiskSource& SimWorld::Disks() { return impl_->source; }
Platform SimWorld::MakePlatform(HostServices& host) {
  return Platform{&impl_->port, &impl_->source, &host, &impl_->log};
}
CommandLog& SimWorld::Log() { return impl_->log; }

std::size_t SimWorld::DeviceCount() const { return impl_->devices.size(); }
SimBridge& SimWorld::Bridge(std::size_t index) { return *impl_->devices.at(index).bridge; }
std::string SimWorld::PathOf(std::size_t index) const { return impl_->devices.at(index).path; }
void SimWorld::Unplug(std::size_t index) { impl_->SetPlugged(index, false); }
void SimWorld::Replug(std::size_t index) {
  if (impl_->devices.at(index).plugged) impl_->SetPlugged(index, false);
  impl_->SetPlugged(index, true);
}
bool SimWorld::IsPlugged(std::size_t index) const { return impl_->devices.at(index).plugged; }
void SimWorld::SetHeldByOther(std::size_t index, bool held) {
  impl_->devices.at(index).heldByOther = held;
}

const std::vector<TraceEntry>& SimWorld::Trace() const { return impl_->trace; }
std::uint64_t SimWorld::TraceCount() const { return impl_->traceCount; }
void SimWorld::ClearTrace() { impl_->trace.clear(); }
void SimWorld::SetTraceSink(std::function<void(const TraceEntry&)> sink) {
  impl_->traceSink = std::move(sink);
}
void SimWorld::SetPlugListener(std::function<void(std::size_t, bool)> listener) {
  impl_->plugListener = std::move(listener);
}

}  // namespace corvane::sim
