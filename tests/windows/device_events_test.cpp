// The command line's device watch on Windows: a real hidden window under Wine, its registration
// through the emulated Windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/windows/win_device_events.h"
#include "tests/windows/emulated_stack.h"

namespace corvane::device::windows::testing {
namespace {

// Windows refuses to post the codes whose lParam points at data (0x8000 and up) across the queue;
// it sends those. Sent from this thread, they reach the window procedure at once.
void Deliver(HWND window, WPARAM code) {
  if ((code & 0x8000) != 0) {
    ::SendMessageA(window, WM_DEVICECHANGE, code, 0);
  } else {
    ASSERT_TRUE(::PostMessageA(window, WM_DEVICECHANGE, code, 0));
  }
}

TEST(WinDeviceEventSource, QueuesRemovalsAndNodeChangesInOrderAndNothingElse) {
  EmulatedStack stack;
  std::string error;
  auto source = WinDeviceEventSource::Open(stack.api, error);
  ASSERT_NE(source, nullptr) << error;
  EXPECT_EQ(source->Descriptor(), -1);
  EXPECT_FALSE(source->Wait(0));  // nothing yet

  // A top-level window (a message-only one would miss the node-change broadcasts).
  EXPECT_EQ(::GetAncestor(source->Window(), GA_PARENT), ::GetDesktopWindow());
  ASSERT_EQ(stack.api.Log().registrations.size(), 1u);
  EXPECT_EQ(stack.api.Log().registrations[0].recipient, source->Window());

  struct Row {
    const char* name;
    std::vector<WPARAM> delivered;
    std::vector<std::uint32_t> queued;
  };
  const Row rows[] = {
      {"node change and arrival", {0x0007, 0x8000}, {0x0007}},
      {"removal then node change", {0x8004, 0x0007}, {0x8004, 0x0007}},
      {"queries and other codes", {0x8001, 0x8003, 0x0018, 0x8006}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const WPARAM code : row.delivered) Deliver(source->Window(), code);
    EXPECT_EQ(source->Wait(0), !row.queued.empty());
    EXPECT_EQ(source->ReadPending(), row.queued);
    EXPECT_TRUE(source->ReadPending().empty());
  }

  const HDEVNOTIFY registration = source->Registration();
  source.reset();
  EXPECT_EQ(stack.api.Log().unregistrations, std::vector<HDEVNOTIFY>{registration});
}

}  // namespace
}  // namespace corvane::device::windows::testing
