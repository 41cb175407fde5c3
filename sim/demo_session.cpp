#include "sim/demo_session.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace corvane::sim {

using namespace device;

ScsiOutcome PacedPort::Execute(std::string_view path, const ScsiRequest& request) {
  const auto pause = perCommand_ + perKiB_ * static_cast<long>(request.data.size() / 1024);
  if (pause.count() > 0) std::this_thread::sleep_for(pause);
  return inner_.Execute(path, request);
}

void DemoHost::SleepMs(std::uint32_t ms) {
  clock_.AdvanceMs(ms);
  if (realCapMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, realCapMs_)));
}

DemoSession::DemoSession(const Scenario& scenario, HostServices& boxes, Options options)
    : host_(clock_, boxes, options.realSleepCapMs),
      world_(std::make_unique<SimWorld>(scenario, clock_)),
      port_(std::make_unique<PacedPort>(world_->Port(), options.perCommand, options.perKiB)) {
  world_->SetPlugListener([this](std::size_t, bool plugged) {
    if (!sink_) return;
    for (std::uint32_t code : PlugEventCodes(plugged)) sink_(code);
  });
}

DemoSession::~DemoSession() { world_->SetPlugListener({}); }

Platform DemoSession::MakePlatform() {
  Platform platform = world_->MakePlatform(host_);
  platform.port = port_.get();
  platform.host = &host_;
  return platform;
}

void DemoSession::SetDeviceEventSink(std::function<void(std::uint32_t code)> sink) {
  sink_ = std::move(sink);
}

bool DemoSession::TogglePlug(std::size_t index) {
  if (index >= world_->DeviceCount()) return false;
  if (world_->IsPlugged(index)) {
    world_->Unplug(index);
  } else {
    world_->Replug(index);
  }
  return true;
}

}  // namespace corvane::sim
