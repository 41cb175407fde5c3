// corvane-e2e-exclusive PATH: shows, against the real sg driver, that the transport's exclusive open
// for data-out commands really excludes. PATH is a device path as `corvane-update list` prints it.
// One line per check ("EXCL <check> ok|FAIL ..."); exit status 0 when every check held.
// With --bench COUNT it times single commands instead; with --replug GO-FILE it checks that a
// remembered path reaches nothing once its adaptor was plugged in again (see RePlugCheck).
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <limits>
#include <string>
#include <vector>

#include "device/linux/device_path.h"
#include "device/linux/sg_scsi_port.h"
#include "device/system_devices.h"
#include "device/pass_through.h"
#include "device/platform.h"

namespace {

using corvane::device::linuxdev::ParseDevicePath;

int failures = 0;

void Report(const char* check, bool ok, const std::string& detail) {
  std::printf("EXCL %s %s %s\n", check, ok ? "ok" : "FAIL", detail.c_str());
  if (!ok) ++failures;
}

// WRITE(10) of one block at the start of the small disk behind the adaptor: a data-out command that
// changes nothing the update cares about.
constexpr std::array<std::uint8_t, 10> kWriteBlock{0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0};
constexpr std::array<std::uint8_t, 6> kTestUnitReady{};

int SendOnHeldDescriptor(int fd) {
  std::array<std::uint8_t, 512> block{};
  std::array<std::uint8_t, 32> sense{};
  sg_io_hdr io{};
  io.interface_id = 'S';
  io.dxfer_direction = SG_DXFER_TO_DEV;
  io.cmd_len = kWriteBlock.size();
  io.cmdp = const_cast<std::uint8_t*>(kWriteBlock.data());
  io.dxfer_len = block.size();
  io.dxferp = block.data();
  io.mx_sb_len = sense.size();
  io.sbp = sense.data();
  io.timeout = 10000;
  if (ioctl(fd, SG_IO, &io) != 0) return -errno;
  return io.status;
}

int OurDataOut(const std::string& path) {
  std::array<std::uint8_t, 512> block{};
  std::uint32_t transferred = 0;
  return corvane::device::PassThroughOut(path, kWriteBlock.data(), kWriteBlock.size(), block.data(), block.size(),
                                 &transferred);
}

int OurDataIn(const std::string& path) {
  std::uint32_t transferred = 0;
  return corvane::device::PassThroughIn(path, kTestUnitReady.data(), kTestUnitReady.size(), nullptr, 0, &transferred);
}

int SendTestUnitReady(int fd) {
  std::array<std::uint8_t, 32> sense{};
  sg_io_hdr io{};
  io.interface_id = 'S';
  io.dxfer_direction = SG_DXFER_NONE;
  io.cmd_len = kTestUnitReady.size();
  io.cmdp = const_cast<std::uint8_t*>(kTestUnitReady.data());
  io.mx_sb_len = sense.size();
  io.sbp = sense.data();
  io.timeout = 10000;
  return ioctl(fd, SG_IO, &io) == 0 ? io.status : -errno;
}

template <typename F>
long MicrosecondsPerCommand(int count, F&& send) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) send();
  const auto spent = std::chrono::steady_clock::now() - start;
  return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(spent).count() / count);
}

// Where the time of one command goes: our transport (open, checks, SG_IO, close; the path is looked
// up in sysfs for the first command only) against a bare open + SG_IO + close and against SG_IO on a
// descriptor held open. The kinds take turns command by command, starting with a different kind each
// time, and each reports its median, so a burst of load on the host lands on all kinds alike. The
// held descriptor is opened and closed outside the timing, around its one command, since it keeps
// exclusive opens out. Every command must succeed: a refused command (a path with a stale plug token,
// say) costs far less than a real one and would make the figures meaningless, so the failures of
// each kind are printed too and make the bench fail.
bool Bench(const std::string& path, const std::filesystem::path& deviceDir, const std::string& sg,
           const std::string& node, int count) {
  constexpr int kKinds = 7;
  const std::string nodeDir = (deviceDir / "scsi_generic" / sg).string();
  using Clock = std::chrono::steady_clock;
  // Each kind sends one command and says whether it succeeded; the held kinds time only their
  // command, not the open and close around it.
  auto heldSend = [&](auto&& send, Clock::duration& spent) {
    const int fd = open(node.c_str(), O_RDWR);
    if (fd < 0) return false;
    const auto start = Clock::now();
    const bool ok = send(fd) == 0;
    spent = Clock::now() - start;
    close(fd);
    return ok;
  };
  const std::array<std::function<bool(Clock::duration&)>, kKinds> kinds{
      [&](Clock::duration&) { return OurDataIn(path) == 1; },
      [&](Clock::duration&) {
        const int fd = open(node.c_str(), O_RDWR);
        const bool ok = fd >= 0 && SendTestUnitReady(fd) == 0;
        if (fd >= 0) close(fd);
        return ok;
      },
      [&](Clock::duration& spent) { return heldSend(SendTestUnitReady, spent); },
      [&](Clock::duration&) { return OurDataOut(path) == 1; },
      [&](Clock::duration&) {
        const int fd = open(node.c_str(), O_RDWR | O_EXCL | O_NONBLOCK);
        const bool ok = fd >= 0 && SendOnHeldDescriptor(fd) == 0;
        if (fd >= 0) close(fd);
        return ok;
      },
      [&](Clock::duration& spent) { return heldSend(SendOnHeldDescriptor, spent); },
      // The checks the port made around every remembered command before they moved onto the
      // device number's sysfs entry (the node's directory before and after the open, the driver
      // link, the plug token), around a bare open + SG_IO + close: the former transport's cost,
      // timed in the same run as the present one.
      [&](Clock::duration&) {
        struct stat info {};
        if (stat(nodeDir.c_str(), &info) != 0) return false;
        const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK);
        if (fd < 0) return false;
        const bool ok = fstat(fd, &info) == 0 && stat(nodeDir.c_str(), &info) == 0 &&
                        corvane::device::linuxdev::ClassifyScsiDevice(deviceDir) ==
                            corvane::device::linuxdev::Attachment::BulkOnly &&
                        !corvane::device::linuxdev::PlugToken(deviceDir).empty() &&
                        SendTestUnitReady(fd) == 0;
        close(fd);
        return ok;
      },
  };
  std::array<std::vector<long>, kKinds> spentUs;
  std::array<int, kKinds> failed{};
  for (int i = 0; i < count; ++i) {
    for (int k = 0; k < kKinds; ++k) {
      const int kind = (i + k) % kKinds;
      Clock::duration spent{};
      const auto start = Clock::now();
      const bool ok = kinds[kind](spent);
      if (spent == Clock::duration{}) spent = Clock::now() - start;
      failed[kind] += ok ? 0 : 1;
      spentUs[kind].push_back(
          static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(spent).count()));
    }
  }
  // The median, and the mean of the middle 80 %: a command's time under qemu moves in steps of the
  // guest's timer ticks, so a small cost either hides in a median or shows as a whole step there,
  // while the trimmed mean takes it in proportion and still leaves out the bursts of host load.
  std::array<long, kKinds> median{};
  std::array<long, kKinds> trimmed{};
  for (int k = 0; k < kKinds; ++k) {
    auto& v = spentUs[k];
    std::sort(v.begin(), v.end());
    median[k] = v.empty() ? 0 : v[v.size() / 2];
    const std::size_t cut = v.size() / 10;
    long sum = 0;
    for (std::size_t i = cut; i + cut < v.size(); ++i) sum += v[i];
    trimmed[k] = v.size() > 2 * cut ? sum / static_cast<long>(v.size() - 2 * cut) : 0;
  }
  std::printf("BENCH us-per-command ours=%ld open-each=%ld held=%ld ours-out=%ld open-each-out=%ld held-out=%ld"
              " former-checks=%ld failed=%d/%d/%d/%d/%d/%d/%d\n",
              median[0], median[1], median[2], median[3], median[4], median[5], median[6], failed[0], failed[1],
              failed[2], failed[3], failed[4], failed[5], failed[6]);
  std::printf("BENCH us-per-command-trimmed-mean tm-ours=%ld tm-open-each=%ld tm-held=%ld tm-ours-out=%ld"
              " tm-open-each-out=%ld tm-held-out=%ld tm-former-checks=%ld\n",
              trimmed[0], trimmed[1], trimmed[2], trimmed[3], trimmed[4], trimmed[5], trimmed[6]);
  return std::all_of(failed.begin(), failed.end(), [](int n) { return n == 0; });
}

// What each step of our command costs here, call by call: the sysfs calls the port's checks make,
// the open and close of the node, a bare command, the port called directly (remembered target, and
// a fresh port that must look the path up) and the whole transport. Interleaved, medians.
void BenchSteps(const std::string& path, const std::filesystem::path& deviceDir, const std::string& sg,
                const std::string& node, int count) {
  using corvane::device::linuxdev::SgScsiPort;
  const std::string nodeDir = (deviceDir / "scsi_generic" / sg).string();
  std::string charLink = "/sys/dev/char/";
  if (const auto dev = corvane::device::linuxdev::ReadAttribute(deviceDir / "scsi_generic" / sg / "dev")) charLink += *dev;
  const std::string driver = (deviceDir.parent_path().parent_path().parent_path() / "driver").string();
  char link[4096];
  struct stat info {};
  SgScsiPort port;
  corvane::device::ScsiRequest testUnitReady{kTestUnitReady, corvane::device::DataDirection::In, {}, 10, corvane::device::OpenMode::Shared, {}};
  const std::array<std::pair<const char*, std::function<void()>>, 10> calls{{
      {"getpid", [] { (void)getpid(); }},
      {"stat-node-dir", [&] { stat(nodeDir.c_str(), &info); }},
      {"lstat-dev-char", [&] { lstat(charLink.c_str(), &info); }},
      {"readlink-driver", [&] { (void)!readlink(driver.c_str(), link, sizeof link); }},
      {"plug-token", [&] { corvane::device::linuxdev::PlugToken(deviceDir); }},
      {"open-close-node", [&] {
         const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK);
         if (fd >= 0) close(fd);
       }},
      {"open-tur-close", [&] {
         const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK);
         if (fd >= 0) {
           SendTestUnitReady(fd);
           close(fd);
         }
       }},
      {"port-remembered", [&] { port.Execute(path, testUnitReady); }},
      {"port-fresh", [&] { SgScsiPort(/*sysfsRoot=*/"/sys").Execute(path, testUnitReady); }},
      {"transport", [&] { OurDataIn(path); }},
  }};
  std::array<std::vector<long>, calls.size()> spentUs;
  for (int i = 0; i < count; ++i) {
    for (std::size_t k = 0; k < calls.size(); ++k) {
      const std::size_t kind = (static_cast<std::size_t>(i) + k) % calls.size();
      const auto start = std::chrono::steady_clock::now();
      calls[kind].second();
      spentUs[kind].push_back(static_cast<long>(
          std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count()));
    }
  }
  std::printf("BENCH us-per-step");
  for (std::size_t k = 0; k < calls.size(); ++k) {
    auto& v = spentUs[k];
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    std::printf(" %s=%ld", calls[k].first, v.empty() ? 0 : v[v.size() / 2]);
  }
  std::printf(" full-lookups-remembered=%llu\n", static_cast<unsigned long long>(port.FullLookups()));
}

// A remembered path whose adaptor is pulled out and plugged in again at the same place while this
// process runs (the same devpath and, the kernel handing out the lowest free number, most likely
// the same sg node, but a new plug token): the commands sent through the old path afterwards must
// reach nothing. The script re-plugs the adaptor between "REPLUG ready" and the go file, and
// counts the WRITE(10) blocks the adaptor saw after the re-plug.
bool RePlugCheck(const std::string& path, const std::string& goFile) {
  using corvane::device::linuxdev::SgScsiPort;
  SgScsiPort port;
  corvane::device::Platform platform = corvane::device::ActivePlatform();
  platform.port = &port;
  corvane::device::ScopedPlatform own(platform);
  const bool before = OurDataIn(path) == 1 && OurDataIn(path) == 1;
  const auto lookupsBefore = static_cast<unsigned long long>(port.FullLookups());
  std::printf("REPLUG ready commands-before=%s lookups=%llu\n", before ? "ok" : "FAIL", lookupsBefore);
  std::fflush(stdout);
  for (int i = 0; i < 2400 && !std::filesystem::exists(goFile); ++i) usleep(50000);
  const int out = OurDataOut(path);
  const int in = OurDataIn(path);
  std::printf("REPLUG after data-out=%d data-in=%d lookups=%llu\n", out, in,
              static_cast<unsigned long long>(port.FullLookups()));
  return before && lookupsBefore == 1 && out == 0 && in == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool bench = argc == 4 && std::string(argv[2]) == "--bench";
  const bool replug = argc == 4 && std::string(argv[2]) == "--replug";
  if (argc != 2 && !bench && !replug) {
    std::fprintf(stderr, "usage: corvane-e2e-exclusive DEVICE-PATH [--bench COUNT | --replug GO-FILE]\n");
    return 1;
  }
  const std::string path = argv[1];
  const auto live = corvane::device::OpenSystemDevices();
  corvane::device::ScopedPlatform installed(live->AsPlatform());

  const auto parsed = ParseDevicePath(path);
  const auto dir = parsed ? corvane::device::linuxdev::ResolveDevpath("/sys", parsed->devpath) : std::nullopt;
  const auto sg = dir ? corvane::device::linuxdev::SgNodeName(*dir) : std::nullopt;
  if (!sg) {
    Report("resolve", false, "no sg node for " + path);
    return 1;
  }
  const std::string node = "/dev/" + *sg;
  if (replug) return RePlugCheck(path, argv[3]) ? 0 : 1;
  if (bench) {
    BenchSteps(path, *dir, *sg, node, std::stoi(argv[3]));
    return Bench(path, *dir, *sg, node, std::stoi(argv[3])) ? 0 : 1;
  }
  Report("resolve", true, node);

  // 1. Someone holds the device exclusively, as our data-out sender does, and uses it for a data-out command.
  {
    const int held = open(node.c_str(), O_RDWR | O_EXCL | O_NONBLOCK);
    Report("hold-exclusive", held >= 0, held >= 0 ? "" : std::strerror(errno));
    if (held < 0) return 1;
    const int status = SendOnHeldDescriptor(held);
    Report("holder-data-out", status == 0, "status " + std::to_string(status));

    const int second = open(node.c_str(), O_RDWR | O_NONBLOCK);
    const int secondErrno = errno;
    Report("second-open-ebusy", second < 0 && secondErrno == EBUSY,
           second < 0 ? std::strerror(secondErrno) : "second open succeeded");
    if (second >= 0) close(second);
    Report("our-data-out-refused", OurDataOut(path) == 0, "while held");

    // Our data-in sender shares the device. The sg driver would make a plain shared open wait for
    // an exclusive holder for as long as it holds on; ours opens without blocking, so it fails at
    // once (result 0, like any failed open) and succeeds again once the holder lets go. It runs on
    // a thread so that a regression shows as a failed check, not as a hung probe.
    auto shared = std::async(std::launch::async, [&] { return OurDataIn(path); });
    const bool answered = shared.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    close(held);
    const int whileHeld = shared.get();
    const int afterRelease = OurDataIn(path);
    Report("our-data-in-refused-while-held", answered && whileHeld == 0 && afterRelease == 1,
           std::string(answered ? "answered at once" : "waited for the holder") + ", result " +
               std::to_string(whileHeld) + " while held, " + std::to_string(afterRelease) +
               " after release");
  }

  // 2. Nobody holds it: our exclusive data-out goes through.
  Report("our-data-out-free", OurDataOut(path) == 1, "");

  // 3. A plain (shared) opener holds it: our exclusive data-out must not share.
  {
    const int held = open(node.c_str(), O_RDWR);
    Report("hold-shared", held >= 0, held >= 0 ? "" : std::strerror(errno));
    if (held >= 0) {
      Report("our-data-out-refused-by-sharer", OurDataOut(path) == 0, "");
      close(held);
    }
  }
  std::printf("EXCL result %s\n", failures == 0 ? "PASS" : "FAIL");
  return failures == 0 ? 0 : 1;
}
