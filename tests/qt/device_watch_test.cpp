// The device watch: codes from a readable socket reach the window in order, one at a time, even
// when a handler lets messages through and more events arrive meanwhile.
#include <QCoreApplication>
#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "app/qt/device_watch.h"

namespace corvane::app::qt::testing {
namespace {

class SocketPair {
 public:
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0, fds_.data()), 0); }
  ~SocketPair() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  int Reader() const { return fds_[0]; }
  void Send(std::uint8_t code) { EXPECT_EQ(::send(fds_[1], &code, 1, 0), 1); }
  // Every waiting datagram, one code each, as the kernel watch's drain does.
  std::vector<std::uint32_t> Drain() {
    std::vector<std::uint32_t> codes;
    std::uint8_t code = 0;
    while (::recv(fds_[0], &code, 1, 0) == 1) codes.push_back(code);
    return codes;
  }

 private:
  std::array<int, 2> fds_{-1, -1};
};

TEST(DeviceWatch, DeliversEveryCodeInArrivalOrderEvenWhenHandlersLetMessagesThrough) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> first;   // sent before the loop runs
    std::vector<std::uint8_t> during;  // sent from inside the first handler, which then pumps
    std::vector<std::uint32_t> expected;
  };
  const std::vector<Case> cases = {
      {"one", {7}, {}, {7}},
      {"burst", {4, 7, 7}, {}, {4, 7, 7}},
      {"more while handling", {4}, {7, 9}, {4, 7, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SocketPair pair;
    std::vector<std::uint32_t> delivered;
    bool pumped = false;
    DeviceWatch watch(pair.Reader(), [&] { return pair.Drain(); }, [&](std::uint32_t code) {
      delivered.push_back(code);
      if (!pumped && !c.during.empty()) {
        pumped = true;
        for (std::uint8_t more : c.during) pair.Send(more);
        // The window logic lets messages through here; the new codes must wait their turn.
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        EXPECT_EQ(delivered.size(), 1u);
      }
    });
    for (std::uint8_t code : c.first) pair.Send(code);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() >= c.expected.size(); }, 5000));
    EXPECT_EQ(delivered, c.expected);
    EXPECT_EQ(watch.EventsDelivered(), static_cast<int>(c.expected.size()));
  }
}

}  // namespace
}  // namespace corvane::app::qt::testing
