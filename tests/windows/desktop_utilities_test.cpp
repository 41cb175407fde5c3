// The version tests, the closing of the shell's prompt, the notification registration and the
// host services, through the emulated Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/windows/desktop_utilities.h"
#include "tests/windows/emulated_stack.h"

namespace corvane::device::windows::testing {
namespace {

TEST(WindowsVersionTests, ByTheVersionWindowsReports) {
  struct Row {
    const char* name;
    DWORD major, minor;
    bool extendedFails, basicFails;
    bool sevenTo81, eightOr81, ten;
    std::vector<DWORD> sizesAsked;  // per test
  };
  const Row rows[] = {
      {"Vista 6.0", 6, 0, false, false, false, false, false, {156}},
      {"7 (6.1)", 6, 1, false, false, true, false, false, {156}},
      {"8 (6.2)", 6, 2, false, false, true, true, false, {156}},
      {"8.1 (6.3)", 6, 3, false, false, true, true, false, {156}},
      {"10 (10.0)", 10, 0, false, false, false, false, true, {156}},
      {"the extended record refused: the basic one answers",
       6,
       1,
       true,
       false,
       true,
       false,
       false,
       {156, 148}},
      {"both refused", 10, 0, true, true, false, false, false, {156, 148}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EmulatedStack stack;
    auto& answers = stack.api.Configure();
    answers.majorVersion = row.major;
    answers.minorVersion = row.minor;
    answers.extendedVersionFails = row.extendedFails;
    answers.versionFails = row.basicFails;
    EXPECT_EQ(IsWindows7To81(stack.api), row.sevenTo81);
    EXPECT_EQ(IsWindows8Or81(stack.api), row.eightOr81);
    EXPECT_EQ(IsWindows10(stack.api), row.ten);

    const auto& calls = stack.api.Log().versionCalls;
    ASSERT_EQ(calls.size(), 3 * row.sizesAsked.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].sizeField, row.sizesAsked[i % row.sizesAsked.size()]);
      EXPECT_TRUE(calls[i].zeroed) << "call " << i;
    }
  }
}

TEST(CloseSystemPromptDialog, PostsCloseToTheShellsPromptOnly) {
  const HWND prompt = reinterpret_cast<HWND>(0x2A0);
  struct Row {
    const char* name;
    std::vector<EmulatedWinApi::TopLevelWindow> windows;
    bool closed;
  };
  const Row rows[] = {
      {"no window", {}, false},
      {"a dialog with another title", {{"#32770", "Format disk", prompt}}, false},
      {"the prompt", {{"#32770", "Microsoft Windows", prompt}}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EmulatedStack stack;
    stack.api.Configure().windows = row.windows;
    EXPECT_EQ(CloseSystemPromptDialog(stack.api), row.closed);
    const auto& log = stack.api.Log();
    ASSERT_EQ(log.windowSearches.size(), 1u);
    EXPECT_EQ(log.windowSearches[0].className, "#32770");
    EXPECT_EQ(log.windowSearches[0].title, "Microsoft Windows");
    if (row.closed) {
      ASSERT_EQ(log.posted.size(), 1u);
      EXPECT_EQ(log.posted[0].window, prompt);
      EXPECT_EQ(log.posted[0].message, UINT{WM_CLOSE});
      EXPECT_EQ(log.posted[0].wParam, 0u);
      EXPECT_EQ(log.posted[0].lParam, 0);
    } else {
      EXPECT_TRUE(log.posted.empty());
    }
  }
}

TEST(UsbDeviceNotification, RegistersForUsbDeviceInterfacesOfTheWindow) {
  EmulatedStack stack;
  const HWND window = reinterpret_cast<HWND>(0x3B0);
  const HDEVNOTIFY registration = RegisterUsbDeviceNotification(stack.api, window);
  ASSERT_NE(registration, nullptr);
  const auto& log = stack.api.Log();
  ASSERT_EQ(log.registrations.size(), 1u);
  const auto& call = log.registrations[0];
  EXPECT_EQ(call.recipient, window);
  EXPECT_EQ(call.flags, DWORD{DEVICE_NOTIFY_WINDOW_HANDLE});
  ASSERT_EQ(call.filter.size(), sizeof(DEV_BROADCAST_DEVICEINTERFACE_A));
  DEV_BROADCAST_DEVICEINTERFACE_A filter;
  std::memcpy(&filter, call.filter.data(), sizeof filter);
  EXPECT_EQ(filter.dbcc_size, sizeof(DEV_BROADCAST_DEVICEINTERFACE_A));
  EXPECT_EQ(filter.dbcc_devicetype, DWORD{DBT_DEVTYP_DEVICEINTERFACE});
  const GUID usbDevice = {
      0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
  EXPECT_EQ(std::memcmp(&filter.dbcc_classguid, &usbDevice, sizeof(GUID)), 0);

  UnregisterUsbDeviceNotification(stack.api, registration);
  UnregisterUsbDeviceNotification(stack.api, nullptr);
  EXPECT_EQ(log.unregistrations, std::vector<HDEVNOTIFY>{registration});
}

TEST(WinHostServices, HandsTheTextsToWindowsAsTheyStand) {
  EmulatedStack stack;
  const std::string line = "Compare Fail.Set NVRAM Fail.";
  stack.host.DebugOutput(std::string_view(line).substr(0, 13));  // not NUL-terminated there
  stack.host.DebugOutput("btn_upd Press\n");
  stack.host.ShowErrorBox("Identify chip fail", "Error");
  stack.host.SleepMs(10);
  const auto& log = stack.api.Log();
  EXPECT_EQ(log.debugTexts, (std::vector<std::string>{"Compare Fail.", "btn_upd Press\n"}));
  ASSERT_EQ(log.messageBoxes.size(), 1u);
  EXPECT_EQ(log.messageBoxes[0].owner, nullptr);
  EXPECT_EQ(log.messageBoxes[0].text, "Identify chip fail");
  EXPECT_EQ(log.messageBoxes[0].caption, "Error");
  EXPECT_EQ(log.messageBoxes[0].type, UINT{MB_OK | MB_ICONERROR});
  EXPECT_EQ(log.sleeps, std::vector<DWORD>{10});
}

}  // namespace
}  // namespace corvane::device::windows::testing
