// The statically linked programs of the end-to-end guest: libsystemd comes as a shared library
// only, and the guest runs no bus. They say so and write on without a lock.
#include "device/linux/inhibit/inhibitors.h"

namespace corvane::device::linuxdev {

namespace {
constexpr const char* kNoBus = "this statically linked build does not talk to D-Bus";
}  // namespace

bool LogindInhibitor::Take(const std::string&, const std::string&, std::string& error,
                           std::chrono::milliseconds) {
  error = kNoBus;
  return false;
}

void LogindInhibitor::Release() { fd_ = -1; }

struct DesktopInhibitor::Session {};
DesktopInhibitor::DesktopInhibitor() = default;
DesktopInhibitor::~DesktopInhibitor() = default;
bool DesktopInhibitor::Held() const { return false; }

bool DesktopInhibitor::Take(const std::string&, const std::string&, std::string& error,
                            std::chrono::milliseconds) {
  error = kNoBus;
  return false;
}

void DesktopInhibitor::Release(std::chrono::milliseconds) {}

}  // namespace corvane::device::linuxdev
