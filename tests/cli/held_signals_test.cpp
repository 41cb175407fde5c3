// Signals sent to a real corvane-update while it writes a virtual adaptor, and a reader that goes
// away in the middle: the download is never cut short, and the exit code is the update's own.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

// corvane-update as a child process whose standard output and error share one pipe of a single
// page: it can never be more than that page ahead of what the test has read, so "the n-th block"
// is a place in the download, not a moment in time. Its own process group keeps a stop signal
// meaningful (a stop is discarded in an orphaned group).
class Child {
 public:
  explicit Child(const std::vector<std::string>& arguments) {
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    capacity_ = fcntl(fds[0], F_SETPIPE_SZ, 4096);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none, defaults;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGTTOU, SIGPIPE}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    std::vector<std::string> words{CORVANE_UPDATE_BINARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, CORVANE_UPDATE_BINARY, &actions, &attributes, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[1]);
    fd_ = fds[0];
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    CloseOutput();
  }

  pid_t Pid() const { return pid_; }
  // How far into its output the child can be at most: what the test has read, and a full pipe.
  std::size_t Reach() const { return consumed_ + static_cast<std::size_t>(capacity_); }
  std::size_t Consumed() const { return consumed_; }
  // The next line (a byte at a time, so the child gets exactly as far as the test has read), or
  // nothing at the end. A child that neither writes nor ends (stopped, hung) fails the test after
  // half a minute and is killed.
  std::optional<std::string> Line() {
    std::string line;
    char c = 0;
    for (;;) {
      pollfd ready{fd_, POLLIN, 0};
      if (poll(&ready, 1, 30000) != 1) {
        ADD_FAILURE() << "the child wrote nothing for half a minute after: " << line;
        kill(pid_, SIGKILL);
        return std::nullopt;
      }
      if (read(fd_, &c, 1) != 1) return line.empty() ? std::nullopt : std::optional(line);
      ++consumed_;
      if (c == '\n') return line;
      line += c;
    }
  }
  void CloseOutput() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  // The exit code, or 128 + the signal that ended it, or -1 if it stopped (with `options`
  // WUNTRACED).
  int Wait(int options = 0) {
    int status = 0;
    waitpid(pid_, &status, options);
    if (WIFSTOPPED(status)) return -WSTOPSIG(status);
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  int capacity_ = 0;
  std::size_t consumed_ = 0;
  bool reaped_ = false;
};

std::string TempName(const std::string& what) {
  static int count = 0;
  return ::testing::TempDir() + "held_" + std::to_string(getpid()) + "_" + std::to_string(++count) +
         "_" + what;
}

std::vector<std::string> UpdateArguments(const std::string& scenario, const std::string& state) {
  const bool file = scenario.find('/') != std::string::npos;
  return {"update", "--yes", "--no-backup", "--trace", file ? "--simulate-file" : "--simulate",
          scenario, "--simulate-state", state};
}

bool Has(const std::string& line, const char* text) { return line.find(text) != std::string::npos; }

// What the trace shows of the write: blocks downloaded, blocks read back after the last one, the
// NVRAM block written after that and read again, and whether a note said that the write goes on.
struct Download {
  int written = 0;
  int readBack = 0;
  bool nvramWritten = false;
  bool nvramReadAgain = false;
  bool noted = false;
};

void Count(Download& d, const std::string& line) {
  d.noted = d.noted || Has(line, "is being written and the write goes on");
  if (!Has(line, "trace ")) return;
  if (Has(line, "  3B 0E ")) {
    ++d.written;
    d.readBack = 0;
    d.nvramWritten = d.nvramReadAgain = false;
  } else if (Has(line, "  3C 01 ")) {
    ++d.readBack;
  } else if (Has(line, "  DF 01 ") && d.readBack == 65) {
    d.nvramWritten = true;
  } else if (Has(line, "  DF 10 ") && Has(line, " FA  in") && d.nvramWritten) {
    d.nvramReadAgain = true;
  }
}

// The adaptor as the state file left it: `check` exits 0 when it runs the carried firmware.
int CheckAfter(const std::string& scenarioOption, const std::string& scenario, const std::string& state) {
  Child check({"check", scenarioOption, scenario, "--simulate-state", state});
  while (check.Line()) {
  }
  return check.Wait();
}

TEST(HeldSignals, ASignalMidDownloadNeitherCutsTheWriteNorForgesTheExitCode) {
  const std::string lostNvramWrite = TempName("lost-nvram.json");
  std::ofstream(lostNvramWrite) << R"({"devices": [{"bus": "usb", "chip": "KTS260",
      "firmware": [0, 1, 0, 8], "faults": [{"command": "WriteChipMemory", "effect": "ignore"}]}]})";
  struct Case {
    int signal;
    const char* scenario;
    int exitCode;        // the update's own: 0 complete, 6 failed
    bool goesOn;         // rescans after the result (a stop is continued; SIGPIPE is ignored)
    bool noted;          // a note says that the write goes on
  };
  const Case cases[] = {
      {SIGINT, "kts260", 0, false, true},
      {SIGTERM, "kts260", 0, false, true},
      {SIGHUP, "kts260", 0, false, true},
      {SIGQUIT, "kts260", 0, false, true},
      {SIGTSTP, "kts260", 0, true, true},
      {SIGPIPE, "kts260", 0, true, false},
      {SIGHUP, lostNvramWrite.c_str(), 6, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + " on " + c.scenario);
    const std::string state = TempName("state.json");
    Child child(UpdateArguments(c.scenario, state));
    Download download;
    bool resultShown = false, rescanned = false;
    std::size_t sentBefore = 0, lastBlockAt = 0;  // places in the child's output
    while (const auto line = child.Line()) {
      Count(download, *line);
      if (sentBefore == 0 && download.written == 10) {
        ASSERT_EQ(kill(child.Pid(), c.signal), 0);
        sentBefore = child.Reach();
      }
      if (Has(*line, "  3B 0E ")) lastBlockAt = child.Consumed();
      rescanned = rescanned || Has(*line, "rescan status:");
      if (Has(*line, "status: Update ") && !Has(*line, "Updating")) {
        resultShown = true;
        if (c.signal == SIGTSTP) {
          // It stops once the result is out, and goes on when continued.
          EXPECT_EQ(child.Wait(WUNTRACED), -SIGTSTP);
          kill(child.Pid(), SIGCONT);
        }
      }
    }
    EXPECT_EQ(child.Wait(), c.exitCode);
    EXPECT_TRUE(resultShown);
    EXPECT_EQ(rescanned, c.goesOn);
    EXPECT_EQ(download.written, 65);
    EXPECT_EQ(download.readBack, 65);
    EXPECT_TRUE(download.nvramReadAgain);
    // Sent after the 10th block and before the child could have told of its last one.
    EXPECT_LT(sentBefore, lastBlockAt);
    EXPECT_EQ(download.noted, c.noted);
    if (c.exitCode == 0) {
      EXPECT_EQ(CheckAfter("--simulate", c.scenario, state), 0);
    }
    std::remove(state.c_str());
  }
  std::remove(lostNvramWrite.c_str());
}

// `update --yes 2>&1 | head -15`: the reader is gone long before the download ends.
TEST(HeldSignals, AReaderThatGoesAwayLeavesTheAdaptorUpdated) {
  const std::string state = TempName("state.json");
  Child child(UpdateArguments("kts260", state));
  for (int i = 0; i < 15; ++i) ASSERT_TRUE(child.Line());
  child.CloseOutput();
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(CheckAfter("--simulate", "kts260", state), 0);
  std::remove(state.c_str());
}

}  // namespace
