#include "device/platform.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace corvane::device {
namespace {

// The one process-wide wiring; only ScopedPlatform changes it.
Platform& LivePlatform() {
  static Platform platform;
  return platform;
}

HostServices& FallbackHost() {
  static StandardHostServices host;
  return host;
}

}  // namespace

const Platform& ActivePlatform() { return LivePlatform(); }

HostServices& ActiveHost() {
  HostServices* host = LivePlatform().host;
  return host != nullptr ? *host : FallbackHost();
}

ScopedPlatform::ScopedPlatform(const Platform& platform) : previous_(LivePlatform()) {
  LivePlatform() = platform;
}

ScopedPlatform::~ScopedPlatform() { LivePlatform() = previous_; }

void StandardHostServices::SleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void StandardHostServices::DebugOutput(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void StandardHostServices::ShowErrorBox(std::string_view text, std::string_view caption) {
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

}  // namespace corvane::device
