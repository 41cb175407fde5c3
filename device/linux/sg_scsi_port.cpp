#include "device/linux/sg_scsi_port.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

#include "device/linux/device_path.h"

namespace corvane::device::linuxdev {

namespace fs = std::filesystem;

namespace {

// Host adapter and driver codes of the SCSI midlayer that sg passes through.
constexpr unsigned kHostTimeOut = 0x03;      // DID_TIME_OUT
constexpr unsigned kDriverTimeOut = 0x06;    // DRIVER_TIMEOUT
constexpr unsigned kDriverErrorMask = 0x07;  // DRIVER_SENSE (0x08) only says sense data came back

class RealSystem : public SgSystem {
 public:
  int Open(const std::string& node, int flags, int& fd) override {
    do {
      fd = ::open(node.c_str(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? errno : 0;
  }
  int CharDeviceNumber(int fd, std::uint32_t& majorNumber, std::uint32_t& minorNumber) override {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return errno;
    if (!S_ISCHR(info.st_mode)) return ENODEV;
    majorNumber = major(info.st_rdev);
    minorNumber = minor(info.st_rdev);
    return 0;
  }
  int SgIo(int fd, sg_io_hdr& request) override {
    // Not repeated on EINTR: the command may already have reached the device.
    return ::ioctl(fd, SG_IO, &request) == 0 ? 0 : errno;
  }
  void Close(int fd) override { ::close(fd); }
};

// "21:2" from the node's "dev" attribute.
std::optional<std::pair<std::uint32_t, std::uint32_t>> ParseDeviceNumber(const std::string& text) {
  std::uint32_t majorNumber = 0;
  std::uint32_t minorNumber = 0;
  const char* const end = text.data() + text.size();
  auto [afterMajor, majorError] = std::from_chars(text.data(), end, majorNumber);
  if (majorError != std::errc() || afterMajor == end || *afterMajor != ':') return std::nullopt;
  auto [afterMinor, minorError] = std::from_chars(afterMajor + 1, end, minorNumber);
  if (minorError != std::errc() || afterMinor != end) return std::nullopt;
  return std::make_pair(majorNumber, minorNumber);
}

// Some paths are only ever resolved once per process; a window program that runs for days sees a
// new path at every re-plug. Past this many entries the memory is simply cleared.
constexpr std::size_t kMostRemembered = 64;

std::optional<SgTarget> FindTarget(const fs::path& sysfsRoot, std::string_view path) {
  std::optional<ParsedDevicePath> parsed = ParseDevicePath(path);
  if (!parsed) return std::nullopt;
  std::optional<fs::path> deviceDir = ResolveDevpath(sysfsRoot, parsed->devpath);
  // A device that now sits behind another driver is not the one the path was made for.
  if (!deviceDir || ClassifyScsiDevice(*deviceDir) != parsed->attachment) return std::nullopt;
  std::string token = PlugToken(*deviceDir);
  if (!parsed->plugToken.empty() && !SamePlugToken(token, parsed->plugToken)) {
    return std::nullopt;  // plugged in again since the path was made: maybe another device
  }
  std::optional<std::string> node = SgNodeName(*deviceDir);
  if (!node) return std::nullopt;
  const std::optional<std::string> dev = ReadAttribute(*deviceDir / "scsi_generic" / *node / "dev");
  if (!dev) return std::nullopt;
  const auto number = ParseDeviceNumber(*dev);
  if (!number) return std::nullopt;
  SgTarget target;
  target.deviceDir = std::move(*deviceDir);
  target.attachment = parsed->attachment;
  target.plugToken = parsed->plugToken.empty() ? std::move(token) : std::move(parsed->plugToken);
  target.node = std::move(*node);
  target.number = *number;
  return target;
}

// The identity of the kernel's entry for a character device number (<sysfs>/dev/char/M:m): sysfs
// makes that link afresh for every device that registers the number and removes it before the
// number is free again, and kernfs hands its inode numbers out cyclically with a generation on
// top, so none comes back while the system runs (on a 32-bit kernel, not within two billion). So
// an unchanged inode means the very device that held the number before still holds it.
std::optional<std::uint64_t> EntryIdentity(const std::string& entry) {
  struct stat info {};
  if (::lstat(entry.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_ino);
}

bool IsNodeNumbered(SgSystem& system, int fd, const SgTarget& target) {
  std::uint32_t majorNumber = 0;
  std::uint32_t minorNumber = 0;
  return system.CharDeviceNumber(fd, majorNumber, minorNumber) == 0 &&
         std::make_pair(majorNumber, minorNumber) == target.number;
}

// sg numbers are reused after a re-plug: only when the node we opened has the number sysfs gave
// and, after the open, the device still holds that node, is attached the same way and shows the
// same plug token is it the device the path names. A device that left and came back since the
// look-up fails one of these; the plug token is read once, last.
bool StillTheTarget(SgSystem& system, int fd, const SgTarget& target) {
  std::error_code existsError;
  return IsNodeNumbered(system, fd, target) &&
         fs::exists(target.deviceDir / "scsi_generic" / target.node, existsError) &&
         ClassifyScsiDevice(target.deviceDir) == target.attachment &&
         (target.plugToken.empty() ||
          SamePlugToken(PlugToken(target.deviceDir), target.plugToken));
}

}  // namespace

SgSystem& RealSgSystem() {
  static RealSystem system;
  return system;
}

bool BuildSgRequest(const ScsiRequest& request, sg_io_hdr& header) {
  if (request.cdb.empty() || request.cdb.size() > 16) return false;
  if (request.data.size() > std::numeric_limits<unsigned int>::max()) return false;
  header = sg_io_hdr{};
  header.interface_id = 'S';
  if (request.data.empty()) {
    header.dxfer_direction = SG_DXFER_NONE;
  } else {
    header.dxfer_direction =
        request.direction == DataDirection::In ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
    header.dxfer_len = static_cast<unsigned int>(request.data.size());
    header.dxferp = request.data.data();
  }
  header.cmd_len = static_cast<unsigned char>(request.cdb.size());
  // sg only reads the command block; the field is not const in the kernel's structure.
  header.cmdp = const_cast<unsigned char*>(request.cdb.data());
  header.mx_sb_len = 0;  // no sense data with the command, as on every platform
  header.sbp = nullptr;
  // UINT_MAX would mean "no time-out at all"; stay just below it.
  constexpr std::uint64_t kLongest = std::numeric_limits<unsigned int>::max() - 1u;
  header.timeout = static_cast<unsigned int>(
      std::min<std::uint64_t>(std::uint64_t{request.timeoutSeconds} * 1000u, kLongest));
  return true;
}

void ReadSgResult(const sg_io_hdr& header, ScsiOutcome& outcome) {
  outcome.scsiStatus = header.status;
  std::int64_t transferred = std::int64_t{header.dxfer_len} - header.resid;
  if (transferred < 0) transferred = 0;
  if (transferred > header.dxfer_len) transferred = header.dxfer_len;
  outcome.transferred = static_cast<std::uint32_t>(transferred);

  const unsigned driverError = header.driver_status & kDriverErrorMask;
  if (header.host_status == kHostTimeOut || driverError == kDriverTimeOut) {
    outcome.platformError = ETIMEDOUT;
  } else if (header.host_status != 0 || driverError != 0) {
    outcome.platformError = EIO;
  } else {
    outcome.platformError = 0;
  }
}

SgScsiPort::SgScsiPort(fs::path sysfsRoot, fs::path devRoot, SgSystem& system)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)), system_(system) {}

std::shared_ptr<const SgTarget> SgScsiPort::Remembered(const std::string& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = targets_.find(path);
  if (it == targets_.end()) return nullptr;
  return it->second;
}

void SgScsiPort::Remember(const std::string& path, std::shared_ptr<const SgTarget> target) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (targets_.size() >= kMostRemembered && targets_.count(path) == 0) targets_.clear();
  targets_.insert_or_assign(path, std::move(target));
}

void SgScsiPort::Forget(const std::string& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  targets_.erase(path);
}

ScsiOutcome SgScsiPort::Execute(std::string_view path, const ScsiRequest& request) {
  ScsiOutcome outcome;
  // The sg driver does not filter vendor opcodes, unlike the disk node. O_NONBLOCK turns an open
  // that would have to wait for an exclusive holder into EBUSY at once (and an exclusive open
  // that would have to share into EBUSY too); SG_IO itself still blocks until it completes.
  const int flags = request.openMode == OpenMode::Exclusive ? (O_RDWR | O_EXCL | O_NONBLOCK)
                                                            : (O_RDWR | O_NONBLOCK);
  const std::string key(path);
  int fd = -1;

  // A remembered target was checked in full when it was found, and its device number's sysfs
  // entry was noted then. While that entry is unchanged the same device holds the number: the
  // node is opened only then (so the node of a device that left is not even opened, which could
  // wake it or make its own user's open fail), and after the open the node must carry that
  // number and the entry must still be the same, so the device cannot have been swapped in
  // between. Any doubt (the open failing included) sends the path through a full look-up,
  // which decides.
  std::shared_ptr<const SgTarget> target = Remembered(key);
  if (target) {
    if (EntryIdentity(target->charEntry) != target->entryId ||
        system_.Open(target->nodePath, flags, fd) != 0) {
      target.reset();
    } else if (!IsNodeNumbered(system_, fd, *target) ||
               EntryIdentity(target->charEntry) != target->entryId) {
      system_.Close(fd);
      target.reset();
    }
    if (!target) Forget(key);
  }

  if (!target) {
    ++fullLookups_;
    std::optional<SgTarget> found = FindTarget(sysfsRoot_, path);
    if (!found) {
      outcome.platformError = ENODEV;
      return outcome;
    }
    found->nodePath = (devRoot_ / found->node).string();
    found->charEntry = (sysfsRoot_ / "dev" / "char" /
                        (std::to_string(found->number.first) + ":" +
                         std::to_string(found->number.second)))
                           .string();
    if (const int error = system_.Open(found->nodePath, flags, fd); error != 0) {
      outcome.platformError = static_cast<std::uint32_t>(error);
      outcome.accessDenied = error == EACCES || error == EPERM;
      return outcome;
    }
    // The entry is noted on both sides of the checks: when it changed meanwhile, the device that
    // held the number at the open has gone. A kernel without these entries gets the checks alone
    // at every command, and nothing is remembered.
    const std::optional<std::uint64_t> entryBefore = EntryIdentity(found->charEntry);
    if (!StillTheTarget(system_, fd, *found) ||
        (entryBefore && EntryIdentity(found->charEntry) != entryBefore)) {
      system_.Close(fd);
      outcome.platformError = ENODEV;
      return outcome;
    }
    if (entryBefore) {
      found->entryId = *entryBefore;
      Remember(key, std::make_shared<const SgTarget>(std::move(*found)));
    }
  }
  outcome.opened = true;

  sg_io_hdr header{};
  if (!BuildSgRequest(request, header)) {
    outcome.platformError = EINVAL;
  } else if (const int error = system_.SgIo(fd, header); error != 0) {
    outcome.platformError = static_cast<std::uint32_t>(error);
  } else {
    outcome.carriedOut = true;
    ReadSgResult(header, outcome);
  }
  system_.Close(fd);
  return outcome;
}

}  // namespace corvane::device::linuxdev
