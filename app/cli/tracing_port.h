// A ScsiPort decorator that reports every command block it passes on, for --trace on real devices.
#pragma once

#include <functional>

#include "device/scsi_port.h"
#include "sim/sim.h"

namespace corvane::app::cli {

class TracingPort : public ScsiPort {
 public:
  using Sink = std::function<void(const sim::TraceEntry&)>;
  TracingPort(ScsiPort& inner, Sink sink) : inner_(inner), sink_(std::move(sink)) {}

  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override;
  bool IsSimulated() const override { return inner_.IsSimulated(); }

 private:
  ScsiPort& inner_;
  Sink sink_;
};

}  // namespace corvane::app::cli
