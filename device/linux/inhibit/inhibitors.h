// Locks that keep the computer from shutting down, sleeping or ending the session while an
// adaptor is written: a bridge cut off in the middle of its flash may be left running only its
// boot ROM. Both programs take them around the write (their AdaptorWriteBegins/Ends).
//
// They are asked for over D-Bus, and every call is bounded: a bus or service that does not answer
// in time costs the write at most that bound, and the write goes on without the lock. The
// statically linked programs of the end-to-end guest carry a stand-in that says none can be had.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace corvane::device::linuxdev {

// How long one D-Bus call (connecting included) may take before the write goes on without it.
inline constexpr std::chrono::milliseconds kInhibitorCallBound{1000};

// logind's "block" lock on shutdown, sleep and idle, on the system bus (DBUS_SYSTEM_BUS_ADDRESS,
// else the standard socket). logind hands back a descriptor; the lock lasts until it is closed.
class LogindInhibitor {
 public:
  LogindInhibitor() = default;
  ~LogindInhibitor() { Release(); }
  LogindInhibitor(const LogindInhibitor&) = delete;
  LogindInhibitor& operator=(const LogindInhibitor&) = delete;

  // `who` names the program and `why` the reason, as shutdown prompts show them. False with
  // `error` set when no lock could be taken (no system bus, no logind, no answer in time).
  bool Take(const std::string& who, const std::string& why, std::string& error,
            std::chrono::milliseconds bound = kInhibitorCallBound);
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The desktop session's own inhibition of logout and suspend, on the session bus
// (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus): the XDG desktop portal's Inhibit where a
// portal runs, else GNOME's session manager. Both drop it when the caller's connection goes, so
// the connection stays open while it is held.
class DesktopInhibitor {
 public:
  DesktopInhibitor();
  ~DesktopInhibitor();
  DesktopInhibitor(const DesktopInhibitor&) = delete;
  DesktopInhibitor& operator=(const DesktopInhibitor&) = delete;

  // `appId` is the desktop file's name; `reason` is shown to a user who tries to log out.
  bool Take(const std::string& appId, const std::string& reason, std::string& error,
            std::chrono::milliseconds bound = kInhibitorCallBound);
  void Release(std::chrono::milliseconds bound = kInhibitorCallBound);
  bool Held() const;

 private:
  struct Session;
  std::unique_ptr<Session> session_;
};

}  // namespace corvane::device::linuxdev
