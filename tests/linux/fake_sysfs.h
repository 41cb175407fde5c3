// A sysfs tree in a temporary folder, shaped like the kernel's, plus an empty /dev beside it.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace corvane::device::linuxdev::testing {

struct ScsiDeviceShape {
  std::string parent;        // devpath of the device the SCSI host hangs off, "/devices/..."
  std::string parentDriver;  // driver bound to that parent; empty: none
  std::string hctl;          // "6:0:0:0"
  int type = 0;              // peripheral device type: 0 disk, 5 CD/DVD
  std::string sg;            // "sg1"; empty: no sg node (sg driver not loaded)
  std::string state = "running";
  std::string idVendor = "3c9f";  // the USB device's vendor id as sysfs shows it; empty: none
  std::string idProduct = "2602";  // and its product id, likewise
};

class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  const std::filesystem::path& Sys() const { return sys_; }
  const std::filesystem::path& Dev() const { return dev_; }

  // Builds parent/hostH/targetH:C:T/H:C:T:L with type, state and its sg node (dev "21:N"), links
  // it from bus/scsi/devices like the kernel does, and returns the device's devpath.
  std::string AddScsiDevice(const ScsiDeviceShape& shape);
  // An NVMe namespace: a block disk that the SCSI layer never sees.
  void AddNvmeDisk(const std::string& controller, const std::string& name);
  // The plug token written for the USB device or FireWire node above a SCSI device ("d2",
  // "g0001d2000000000a"); empty for internal disks.
  std::string Token(const std::string& devpath) const;
  // The USB device above a SCSI device comes back with a new device number, and the kernel makes
  // the SCSI device's sysfs entries anew.
  void Replug(const std::string& devpath);
  // The kernel made the SCSI device anew at the same place (its driver was rebound, say): new
  // sysfs entries, same plug token.
  void Recreate(const std::string& devpath);
  // The SCSI device's node becomes `sg` ("sg4"): the old number's entries go, the new one's come.
  void MoveSgNode(const std::string& devpath, const std::string& sg);
  // Everything at and below the devpath goes, with the entries of the sg nodes there.
  void Remove(const std::string& devpath);
  // The directory of a devpath.
  std::filesystem::path Dir(const std::string& devpath) const { return sys_ / devpath.substr(1); }

 private:
  void Link(const std::filesystem::path& at, const std::filesystem::path& target);
  // dev/char/21:N for a node "sgN", pointing at the device's scsi_generic/sgN. sysfs never hands
  // an entry's inode number out twice, so a replaced entry is moved aside, never deleted: its
  // inode number cannot come back either.
  void AddCharEntry(const std::string& sg, const std::filesystem::path& nodeDir);
  void RetireCharEntry(const std::string& sg);

  std::filesystem::path base_;
  std::filesystem::path sys_;
  std::filesystem::path dev_;
  std::map<std::string, std::string> tokens_;  // SCSI devpath -> plug token
  int nextDevnum_ = 2;
  int retired_ = 0;
};

}  // namespace corvane::device::linuxdev::testing
