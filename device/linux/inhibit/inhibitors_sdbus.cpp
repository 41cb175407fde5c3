// The inhibitor locks over libsystemd's sd-bus. Each call is sent asynchronously and the connection
// is driven here until the answer or the deadline, so neither the connection's start (socket,
// authentication, Hello) nor a service that never answers can hold the write longer.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "device/linux/inhibit/inhibitors.h"

namespace corvane::device::linuxdev {
namespace {

using Clock = std::chrono::steady_clock;

struct BusCloser {
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;

struct MessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

std::string ErrnoText(int negative) { return std::strerror(-negative); }

// What a bounded call came to: the reply, or why there is none. Only the D-Bus error's name is
// kept (the bus checks that it is a plain dotted name); its free text comes from a foreign program
// and is not shown.
struct Answer {
  Message reply;
  std::string error;
};

Answer Call(sd_bus* bus, sd_bus_message* call, Clock::time_point deadline) {
  struct Pending {
    bool done = false;
    Answer answer;
  } pending;
  const auto onReply = [](sd_bus_message* reply, void* userdata, sd_bus_error*) -> int {
    auto& p = *static_cast<Pending*>(userdata);
    p.done = true;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
      p.answer.error = error->name != nullptr ? error->name : "an error without a name";
      if (sd_bus_error_has_names(error, SD_BUS_ERROR_NO_REPLY, SD_BUS_ERROR_TIMEOUT)) {
        p.answer.error = "no answer in time";
      }
    } else {
      p.answer.reply.reset(sd_bus_message_ref(reply));
    }
    return 1;
  };
  const auto left = [deadline] {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    return us.count() > 0 ? static_cast<std::uint64_t>(us.count()) : std::uint64_t{1};
  };
  sd_bus_slot* slot = nullptr;
  int r = sd_bus_call_async(bus, &slot, call, onReply, &pending, left());
  if (r < 0) return {nullptr, "the call could not be sent (" + ErrnoText(r) + ")"};
  while (!pending.done) {
    r = sd_bus_process(bus, nullptr);
    if (r < 0) {
      pending.answer.error = "the bus connection failed (" + ErrnoText(r) + ")";
      break;
    }
    if (r > 0) continue;
    if (Clock::now() >= deadline) {
      pending.answer.error = "no answer in time";
      break;
    }
    r = sd_bus_wait(bus, left());
    if (r < 0 && r != -EINTR) {
      pending.answer.error = "the bus connection failed (" + ErrnoText(r) + ")";
      break;
    }
  }
  sd_bus_slot_unref(slot);  // forgets a call still unanswered
  return std::move(pending.answer);
}

Message NewCall(sd_bus* bus, const char* destination, const char* path, const char* interface,
                const char* member, std::string& error) {
  sd_bus_message* raw = nullptr;
  const int r = sd_bus_message_new_method_call(bus, &raw, destination, path, interface, member);
  if (r < 0) error = "the call could not be built (" + ErrnoText(r) + ")";
  return Message(raw);
}

}  // namespace

bool LogindInhibitor::Take(const std::string& who, const std::string& why, std::string& error,
                           std::chrono::milliseconds bound) {
  Release();
  const auto deadline = Clock::now() + bound;
  sd_bus* raw = nullptr;
  int r = sd_bus_open_system(&raw);
  Bus bus(raw);
  if (r < 0) {
    error = "no system bus (" + ErrnoText(r) + ")";
    return false;
  }
  Message call = NewCall(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "Inhibit", error);
  if (!call) return false;
  r = sd_bus_message_append(call.get(), "ssss", "shutdown:sleep:idle", who.c_str(), why.c_str(),
                            "block");
  if (r < 0) {
    error = "the call could not be built (" + ErrnoText(r) + ")";
    return false;
  }
  Answer answer = Call(bus.get(), call.get(), deadline);
  if (!answer.reply) {
    error = "logind: " + answer.error;
    return false;
  }
  int fd = -1;
  r = sd_bus_message_read(answer.reply.get(), "h", &fd);
  if (r < 0) {
    error = "logind answered without a lock (" + ErrnoText(r) + ")";
    return false;
  }
  // The reply owns its descriptor; the lock is ours as long as our copy stays open.
  fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (fd_ < 0) {
    error = "the lock's descriptor could not be kept (" + std::string(std::strerror(errno)) + ")";
    return false;
  }
  return true;
}

void LogindInhibitor::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

struct DesktopInhibitor::Session {
  Bus bus;
  std::string portalRequest;  // the portal's request handle, or empty
  std::uint32_t cookie = 0;   // the session manager's, when the portal was not there
};

DesktopInhibitor::DesktopInhibitor() = default;
DesktopInhibitor::~DesktopInhibitor() { Release(); }

bool DesktopInhibitor::Held() const { return session_ != nullptr; }

bool DesktopInhibitor::Take(const std::string& appId, const std::string& reason,
                            std::string& error, std::chrono::milliseconds bound) {
  Release();
  constexpr std::uint32_t kLogoutAndSuspend = 1 | 4;
  sd_bus* raw = nullptr;
  int r = sd_bus_open_user(&raw);
  auto session = std::make_unique<Session>();
  session->bus.reset(raw);
  if (r < 0) {
    error = "no session bus (" + ErrnoText(r) + ")";
    return false;
  }
  sd_bus* bus = session->bus.get();

  std::string portalError;
  if (Message call = NewCall(bus, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                             "org.freedesktop.portal.Inhibit", "Inhibit", portalError)) {
    r = sd_bus_message_append(call.get(), "sua{sv}", "", kLogoutAndSuspend, 1, "reason", "s",
                              reason.c_str());
    Answer answer = r < 0 ? Answer{nullptr, "the call could not be built"}
                          : Call(bus, call.get(), Clock::now() + bound);
    const char* handle = nullptr;
    if (answer.reply && sd_bus_message_read(answer.reply.get(), "o", &handle) >= 0) {
      session->portalRequest = handle;
      session_ = std::move(session);
      return true;
    }
    portalError = answer.reply ? "answered without a request" : answer.error;
  }

  std::string managerError;
  if (Message call = NewCall(bus, "org.gnome.SessionManager", "/org/gnome/SessionManager",
                             "org.gnome.SessionManager", "Inhibit", managerError)) {
    r = sd_bus_message_append(call.get(), "susu", appId.c_str(), std::uint32_t{0}, reason.c_str(),
                              kLogoutAndSuspend);
    Answer answer = r < 0 ? Answer{nullptr, "the call could not be built"}
                          : Call(bus, call.get(), Clock::now() + bound);
    std::uint32_t cookie = 0;
    if (answer.reply && sd_bus_message_read(answer.reply.get(), "u", &cookie) >= 0) {
      session->cookie = cookie;
      session_ = std::move(session);
      return true;
    }
    managerError = answer.reply ? "answered without a cookie" : answer.error;
  }
  error = "desktop portal: " + portalError + "; session manager: " + managerError;
  return false;
}

void DesktopInhibitor::Release(std::chrono::milliseconds bound) {
  if (!session_) return;
  const std::unique_ptr<Session> session = std::move(session_);
  sd_bus* bus = session->bus.get();
  std::string ignored;
  // Said explicitly, and in any case dropped with the connection below.
  Message call = session->portalRequest.empty()
                     ? NewCall(bus, "org.gnome.SessionManager", "/org/gnome/SessionManager",
                               "org.gnome.SessionManager", "Uninhibit", ignored)
                     : NewCall(bus, "org.freedesktop.portal.Desktop", session->portalRequest.c_str(),
                               "org.freedesktop.portal.Request", "Close", ignored);
  if (!call) return;
  if (session->portalRequest.empty() && sd_bus_message_append(call.get(), "u", session->cookie) < 0) {
    return;
  }
  Call(bus, call.get(), Clock::now() + bound);
}

}  // namespace corvane::device::linuxdev
