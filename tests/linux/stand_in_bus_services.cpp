// Stand-ins for logind, the desktop portal and GNOME's session manager on a private bus, for the
// tests of the inhibitor locks. They record every call; org.corvane.Test tells a test what is
// held at the moment it asks (a logind lock is held while the descriptor handed out stays open).
//   corvane-stand-in-bus [--login1] [--login1-hangs] [--portal] [--gnome]
// It connects to DBUS_SYSTEM_BUS_ADDRESS and prints "ready" once its names are on the bus.
#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct State {
  sd_bus* bus = nullptr;
  bool login1Hangs = false;
  std::vector<std::string> calls;
  std::vector<int> logindLocks;              // our ends of the handed-out descriptors
  std::vector<sd_bus_message*> neverAnswered;
  std::set<std::string> portalRequests;
  int portalSerial = 0;
  std::set<std::uint32_t> gnomeCookies;
  std::uint32_t nextCookie = 1;
};

State& Of(void* userdata) { return *static_cast<State*>(userdata); }

int LogindInhibit(sd_bus_message* m, void* userdata, sd_bus_error*) {
  State& s = Of(userdata);
  const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
  if (const int r = sd_bus_message_read(m, "ssss", &what, &who, &why, &mode); r < 0) return r;
  s.calls.push_back(std::string("login1 ") + what + "|" + who + "|" + why + "|" + mode);
  if (s.login1Hangs) {
    s.neverAnswered.push_back(sd_bus_message_ref(m));
    return 1;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  s.logindLocks.push_back(fds[0]);
  const int r = sd_bus_reply_method_return(m, "h", fds[1]);  // the reply takes a copy
  close(fds[1]);
  return r;
}

int RequestClose(sd_bus_message* m, void* userdata, sd_bus_error*) {
  State& s = Of(userdata);
  s.calls.push_back(std::string("portal close ") + sd_bus_message_get_path(m));
  s.portalRequests.erase(sd_bus_message_get_path(m));
  return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kRequest[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Close", "", "", RequestClose, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

int PortalInhibit(sd_bus_message* m, void* userdata, sd_bus_error*) {
  State& s = Of(userdata);
  const char* window = nullptr;
  std::uint32_t flags = 0;
  std::string reason;
  int r = sd_bus_message_read(m, "su", &window, &flags);
  if (r >= 0) r = sd_bus_message_enter_container(m, 'a', "{sv}");
  while (r >= 0 && sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* key = nullptr;
    const char* text = nullptr;
    r = sd_bus_message_read(m, "s", &key);
    if (r >= 0 && std::string_view(key) == "reason" && sd_bus_message_read(m, "v", "s", &text) >= 0) {
      reason = text;
    } else if (r >= 0) {
      r = sd_bus_message_skip(m, "v");
    }
    if (r >= 0) r = sd_bus_message_exit_container(m);
  }
  if (r < 0) return r;
  s.calls.push_back("portal flags=" + std::to_string(flags) + " reason=" + reason);
  const std::string path = "/org/freedesktop/portal/desktop/request/" + std::to_string(++s.portalSerial);
  r = sd_bus_add_object_vtable(s.bus, nullptr, path.c_str(), "org.freedesktop.portal.Request", kRequest, &s);
  if (r < 0) return r;
  s.portalRequests.insert(path);
  return sd_bus_reply_method_return(m, "o", path.c_str());
}

int GnomeInhibit(sd_bus_message* m, void* userdata, sd_bus_error*) {
  State& s = Of(userdata);
  const char *app = nullptr, *reason = nullptr;
  std::uint32_t window = 0, flags = 0;
  if (const int r = sd_bus_message_read(m, "susu", &app, &window, &reason, &flags); r < 0) return r;
  s.calls.push_back(std::string("gnome ") + app + " flags=" + std::to_string(flags) + " reason=" + reason);
  const std::uint32_t cookie = s.nextCookie++;
  s.gnomeCookies.insert(cookie);
  return sd_bus_reply_method_return(m, "u", cookie);
}

int GnomeUninhibit(sd_bus_message* m, void* userdata, sd_bus_error*) {
  State& s = Of(userdata);
  std::uint32_t cookie = 0;
  if (const int r = sd_bus_message_read(m, "u", &cookie); r < 0) return r;
  s.calls.push_back("gnome uninhibit");
  s.gnomeCookies.erase(cookie);
  return sd_bus_reply_method_return(m, "");
}

int Held(sd_bus_message* m, void* userdata, sd_bus_error*) {
  State& s = Of(userdata);
  std::uint32_t logind = 0;
  for (int fd : s.logindLocks) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) == 0 || (p.revents & POLLHUP) == 0) ++logind;
  }
  return sd_bus_reply_method_return(m, "uuu", logind, static_cast<std::uint32_t>(s.portalRequests.size()),
                                    static_cast<std::uint32_t>(s.gnomeCookies.size()));
}

int Calls(sd_bus_message* m, void* userdata, sd_bus_error*) {
  State& s = Of(userdata);
  sd_bus_message* reply = nullptr;
  int r = sd_bus_message_new_method_return(m, &reply);
  if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "s");
  for (const auto& call : s.calls) {
    if (r >= 0) r = sd_bus_message_append(reply, "s", call.c_str());
  }
  if (r >= 0) r = sd_bus_message_close_container(reply);
  if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  return r;
}

const sd_bus_vtable kLogind[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ssss", "h", LogindInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};
const sd_bus_vtable kPortal[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "sua{sv}", "o", PortalInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};
const sd_bus_vtable kGnome[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "susu", "u", GnomeInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Uninhibit", "u", "", GnomeUninhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};
const sd_bus_vtable kTest[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Held", "", "uuu", Held, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Calls", "", "as", Calls, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

bool Serve(State& s, const char* name, const char* path, const char* interface, const sd_bus_vtable* vtable) {
  return sd_bus_add_object_vtable(s.bus, nullptr, path, interface, vtable, &s) >= 0 &&
         sd_bus_request_name(s.bus, name, 0) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  State s;
  if (sd_bus_open_system(&s.bus) < 0) return 2;
  bool ok = Serve(s, "org.corvane.StandIn", "/org/corvane/test", "org.corvane.Test", kTest);
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    s.login1Hangs = s.login1Hangs || option == "--login1-hangs";
    if (option == "--login1" || option == "--login1-hangs") {
      ok = ok && Serve(s, "org.freedesktop.login1", "/org/freedesktop/login1",
                       "org.freedesktop.login1.Manager", kLogind);
    } else if (option == "--portal") {
      ok = ok && Serve(s, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                       "org.freedesktop.portal.Inhibit", kPortal);
    } else if (option == "--gnome") {
      ok = ok && Serve(s, "org.gnome.SessionManager", "/org/gnome/SessionManager",
                       "org.gnome.SessionManager", kGnome);
    }
  }
  if (!ok) return 2;
  std::puts("ready");
  std::fflush(stdout);
  for (;;) {
    const int r = sd_bus_process(s.bus, nullptr);
    if (r < 0) return 0;  // the bus went away: the test is over
    if (r == 0 && sd_bus_wait(s.bus, UINT64_MAX) < 0) return 0;
  }
}
