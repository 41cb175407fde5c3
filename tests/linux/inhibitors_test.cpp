// The inhibitor locks against stand-ins of logind, the desktop portal and GNOME's session manager
// on a private bus: what is asked for, that it is held until released, and that a missing or
// silent service costs the write no more than the bound.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "device/linux/inhibit/inhibitors.h"
#include "tests/linux/private_bus.h"

namespace corvane::device::linuxdev {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::PrivateBus;

TEST(Inhibitors, TakenFromWhatRunsAndHeldUntilReleased) {
  struct Case {
    std::vector<std::string> services;
    bool logind;
    bool desktop;
    std::vector<std::string> calls;  // prefixes, in order, after both are released
    const char* error;               // part of the errors when not taken
  };
  const Case cases[] = {
      {{"--login1", "--portal", "--gnome"}, true, true,
       {"login1 shutdown:sleep:idle|who|Writing the adaptor's firmware|block",
        "portal flags=5 reason=Updating", "portal close /org/freedesktop/portal/desktop/request/"},
       ""},
      {{"--gnome"}, false, true,
       {"gnome app flags=5 reason=Updating", "gnome uninhibit"},
       "logind: org.freedesktop.DBus.Error.ServiceUnknown"},
      {{}, false, false, {}, "session manager: org.freedesktop.DBus.Error.ServiceUnknown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.services));
    PrivateBus bus(c.services);
    LogindInhibitor logind;
    DesktopInhibitor desktop;
    std::string logindError, desktopError;
    EXPECT_EQ(logind.Take("who", "Writing the adaptor's firmware", logindError), c.logind);
    EXPECT_EQ(desktop.Take("app", "Updating", desktopError), c.desktop);
    EXPECT_THAT(logindError + " " + desktopError, HasSubstr(c.error));
    const bool viaPortal = c.desktop && c.services.size() == 3;
    EXPECT_EQ(bus.HeldNow(), (PrivateBus::Held{c.logind, viaPortal, c.desktop && !viaPortal}));
    logind.Release();
    desktop.Release();
    EXPECT_EQ(bus.HeldNow(), PrivateBus::Held{});
    const auto calls = bus.Calls();
    ASSERT_EQ(calls.size(), c.calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_THAT(calls[i], StartsWith(c.calls[i]));
  }
}

TEST(Inhibitors, NoBusOrASilentLogindCostsAtMostTheBound) {
  constexpr std::chrono::milliseconds kBound{200};
  struct Case {
    std::vector<std::string> services;  // none: no bus at all
    bool bus;
    const char* error;
  };
  const Case cases[] = {
      {{"--login1-hangs"}, true, "logind: no answer in time"},
      {{}, false, "no system bus"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<PrivateBus> bus;
    if (c.bus) bus = std::make_unique<PrivateBus>(c.services);
    if (!c.bus) setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/corvane-test-bus", 1);
    LogindInhibitor logind;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(logind.Take("who", "why", error, kBound));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10 * kBound);
    EXPECT_THAT(error, HasSubstr(c.error));
    EXPECT_FALSE(logind.Held());
    if (!c.bus) unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }
}

}  // namespace
}  // namespace corvane::device::linuxdev
