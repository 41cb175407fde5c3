// ScsiPort on the Linux sg driver: one SG_IO request on /dev/sgN per call.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "device/scsi_port.h"

struct sg_io_hdr;

namespace corvane::linuxdev {

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

// Paths are those of SysfsDiskSource (see device_path.h). At every call the path is resolved
// again to the sg node the device holds now; the port refuses to open when the device is gone,
// its attachment differs from the path's, or the node it opened turns out not to belong to it.
class SgScsiPort : public ScsiPort {
 public:
  explicit SgScsiPort(std::filesystem::path sysfsRoot = "/sys",
                      std::filesystem::path devRoot = "/dev", SgSystem& system = RealSgSystem());
  ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override;

 private:
  std::filesystem::path sysfsRoot_;
  std::filesystem::path devRoot_;
  SgSystem& system_;
};

// Fills the SG_IO request for one ScsiRequest: direction by the data span (none when it is
// empty), time-out in milliseconds, no sense buffer. False when the request cannot be expressed
// (command block empty or longer than 16 bytes, transfer above 4 GiB).
bool BuildSgRequest(const ScsiRequest& request, sg_io_hdr& header);

// Reads a finished SG_IO request into the outcome: SCSI status, transferred count
// (dxfer_len - resid, kept within 0..dxfer_len) and a non-zero platform error when the host
// adapter or the driver reports a transport failure.
void ReadSgResult(const sg_io_hdr& header, ScsiOutcome& outcome);

}  // namespace corvane::linuxdev
