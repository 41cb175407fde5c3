// ScsiPort on the Linux sg driver: one SG_IO request on /dev/sgN per call.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "device/linux/device_path.h"
#include "device/scsi_port.h"

struct sg_io_hdr;

namespace corvane::device::linuxdev {

// The system calls the port makes, behind a seam so the request mapping can be tested without a
// device. Each returns 0 or an errno value.
class SgSystem {
 public:
  virtual ~SgSystem() = default;
  virtual int Open(const std::string& node, int flags, int& fd) = 0;
  // The device number (major, minor) of an open character device; ENODEV when fd is no such thing.
  virtual int CharDeviceNumber(int fd, std::uint32_t& major, std::uint32_t& minor) = 0;
  virtual int SgIo(int fd, sg_io_hdr& request) = 0;
  virtual void Close(int fd) = 0;
};

// The real calls: open(2), fstat(2), ioctl(SG_IO), close(2).
SgSystem& RealSgSystem();

// What a device path resolved to in sysfs.
struct SgTarget {
  std::filesystem::path deviceDir;  // the SCSI device's directory
  Attachment attachment = Attachment::Internal;
  // The path's plug token, or the one the device showed at the look-up when the path has none;
  // empty for devices without one.
  std::string plugToken;
  std::string node;  // "sg2"
  std::pair<std::uint32_t, std::uint32_t> number;  // its character device number
  std::string nodePath;   // "<dev>/sg2"
  std::string charEntry;  // "<sysfs>/dev/char/21:2", the kernel's entry for that number
  std::uint64_t entryId = 0;  // that entry's inode number when the target was checked
};

// Paths are those of SysfsDiskSource (see device_path.h). The port refuses to open when the
// device is gone, its attachment differs from the path's, or the node it opened turns out not to
// belong to it.
//
// Resolving a path through sysfs costs a few milliseconds on a slow machine, more than the
// command itself, so the port remembers what each path resolved to, together with the identity
// of the kernel's entry for the node's device number (<sysfs>/dev/char/M:m), which sysfs makes
// afresh for every device that gets the number. A remembered path is opened only while that
// entry is unchanged, and after the open the node must carry the number and the entry must still
// be the same: then the device behind the node is the one that was checked in full. When anything
// differs the target is dropped and the path resolved again in full. The node is still opened and
// closed for every command.
class SgScsiPort : public ScsiPort {
 public:
  explicit SgScsiPort(std::filesystem::path sysfsRoot = "/sys",
                      std::filesystem::path devRoot = "/dev", SgSystem& system = RealSgSystem());
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override;

  // How many times a path was resolved in full; every other command used a remembered target.
  std::uint64_t FullLookups() const { return fullLookups_.load(); }

 private:
  std::shared_ptr<const SgTarget> Remembered(const std::string& path);
  void Remember(const std::string& path, std::shared_ptr<const SgTarget> target);
  void Forget(const std::string& path);

  std::filesystem::path sysfsRoot_;
  std::filesystem::path devRoot_;
  SgSystem& system_;
  std::mutex mutex_;  // guards targets_ only; no system call runs under it
  std::map<std::string, std::shared_ptr<const SgTarget>, std::less<>> targets_;
  std::atomic<std::uint64_t> fullLookups_{0};
};

// Fills the SG_IO request for one ScsiRequest: direction by the data span (none when it is
// empty), time-out in milliseconds, no sense buffer. False when the request cannot be expressed
// (command block empty or longer than 16 bytes, transfer above 4 GiB).
bool BuildSgRequest(const ScsiRequest& request, sg_io_hdr& header);

// Reads a finished SG_IO request into the outcome: SCSI status, transferred count
// (dxfer_len - resid, kept within 0..dxfer_len) and a non-zero platform error when the host
// adapter or the driver reports a transport failure.
void ReadSgResult(const sg_io_hdr& header, ScsiOutcome& outcome);

}  // namespace corvane::device::linuxdev
