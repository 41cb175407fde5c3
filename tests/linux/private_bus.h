// A dbus-daemon of the test's own, on a socket in the test's folder, with the stand-in services
// of corvane-stand-in-bus on it. While it lives, this process's system and session bus addresses
// (DBUS_SYSTEM_BUS_ADDRESS, DBUS_SESSION_BUS_ADDRESS) name it, as do those of its children.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace corvane::testing {

class PrivateBus {
 public:
  // `services`: the stand-in's options ("--login1", "--login1-hangs", "--portal", "--gnome").
  explicit PrivateBus(const std::vector<std::string>& services) {
    static int count = 0;
    dir_ = ::testing::TempDir() + "bus_" + std::to_string(getpid()) + "_" + std::to_string(++count);
    std::filesystem::create_directories(dir_);
    const std::string config = dir_ + "/bus.conf";
    std::ofstream(config) << "<busconfig><listen>unix:path=" << dir_ << "/socket</listen>"
                          << "<auth>EXTERNAL</auth><policy context=\"default\"><allow own=\"*\"/>"
                          << "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                          << "</policy></busconfig>";
    daemon_ = Spawn({"dbus-daemon", "--nofork", "--print-address", "--config-file=" + config},
                    daemonOut_, /*quiet=*/true);
    address_ = ReadLine(daemonOut_);
    EXPECT_FALSE(address_.empty()) << "dbus-daemon gave no address";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    std::vector<std::string> standIn{CORVANE_STAND_IN_BUS};
    standIn.insert(standIn.end(), services.begin(), services.end());
    services_ = Spawn(standIn, servicesOut_);
    EXPECT_EQ(ReadLine(servicesOut_), "ready");
  }
  ~PrivateBus() {
    for (pid_t pid : {services_, daemon_}) {
      if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
      }
    }
    for (int fd : {daemonOut_, servicesOut_}) {
      if (fd >= 0) close(fd);
    }
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    std::filesystem::remove_all(dir_);
  }

  // What the stand-ins hold now: logind locks whose descriptor is open, portal requests not
  // closed, session-manager cookies not given back.
  struct Held {
    std::uint32_t logind = 0, portal = 0, gnome = 0;
    bool operator==(const Held&) const = default;
  };
  Held HeldNow() {
    Held held;
    Ask("Held", [&held](sd_bus_message* reply) {
      return sd_bus_message_read(reply, "uuu", &held.logind, &held.portal, &held.gnome);
    });
    return held;
  }
  // Every call the stand-ins got, in order ("login1 what|who|why|mode", "portal flags=5 reason=..."
  // , "portal close PATH", "gnome APP flags=5 reason=...", "gnome uninhibit").
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    Ask("Calls", [&calls](sd_bus_message* reply) {
      char** texts = nullptr;
      const int r = sd_bus_message_read_strv(reply, &texts);
      for (char** t = texts; t != nullptr && *t != nullptr; ++t) {
        calls.emplace_back(*t);
        std::free(*t);
      }
      std::free(texts);
      return r;
    });
    return calls;
  }

 private:
  // `quiet`: its standard error (dbus-daemon's complaints about resource limits) is dropped.
  static pid_t Spawn(const std::vector<std::string>& words, int& out, bool quiet = false) {
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (auto& word : copy) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0) << words[0];
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out = fds[0];
    return pid;
  }
  static std::string ReadLine(int fd) {
    std::string line;
    char c = 0;
    pollfd ready{fd, POLLIN, 0};
    while (poll(&ready, 1, 30000) == 1 && read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  template <typename Read>
  void Ask(const char* method, Read read) {
    sd_bus* bus = nullptr;
    ASSERT_GE(sd_bus_open_system(&bus), 0);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call_method(bus, "org.corvane.StandIn", "/org/corvane/test",
                                     "org.corvane.Test", method, &error, &reply, "");
    EXPECT_GE(r, 0) << method << ": " << (error.name != nullptr ? error.name : "");
    if (r >= 0) {
      EXPECT_GE(read(reply), 0);
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
  }

  std::string dir_;
  std::string address_;
  pid_t daemon_ = -1, services_ = -1;
  int daemonOut_ = -1, servicesOut_ = -1;
};

}  // namespace corvane::testing
