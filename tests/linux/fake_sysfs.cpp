#include "tests/linux/fake_sysfs.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>
#include <vector>

namespace corvane::device::linuxdev::testing {

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << '\n';
}

std::string BusOf(const std::string& driver) {
  if (driver == "usb-storage" || driver == "uas") return "usb";
  if (driver == "firewire_sbp2") return "firewire";
  if (driver.rfind("virtio", 0) == 0) return "virtio";
  return "pci";
}

}  // namespace

FakeSysfs::FakeSysfs() {
  std::string pattern = (fs::temp_directory_path() / "corvane-sysfs-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  base_ = pattern;
  sys_ = base_ / "sys";
  dev_ = base_ / "dev";
  fs::create_directories(sys_ / "bus" / "scsi" / "devices");
  fs::create_directories(dev_);
}

FakeSysfs::~FakeSysfs() {
  std::error_code ignored;
  fs::remove_all(base_, ignored);
}

void FakeSysfs::Link(const fs::path& at, const fs::path& target) {
  fs::create_directories(at.parent_path());
  fs::create_directory_symlink(target.lexically_relative(at.parent_path()), at);
}

std::string FakeSysfs::AddScsiDevice(const ScsiDeviceShape& shape) {
  const std::string host = shape.hctl.substr(0, shape.hctl.find(':'));
  const std::string target = shape.hctl.substr(0, shape.hctl.rfind(':'));
  const fs::path parent = Dir(shape.parent);
  fs::create_directories(parent);
  if (!shape.parentDriver.empty() && !fs::exists(parent / "driver")) {
    const fs::path driver =
        sys_ / "bus" / BusOf(shape.parentDriver) / "drivers" / shape.parentDriver;
    fs::create_directories(driver);
    Link(parent / "driver", driver);
  }
  // USB devices get numbers round-robin; FireWire nodes carry their GUID.
  const fs::path node = parent.parent_path();
  const std::string nodeBus = BusOf(shape.parentDriver);
  std::string token;
  if (nodeBus == "usb" || nodeBus == "firewire") {
    const char* name = nodeBus == "usb" ? "devnum" : "guid";
    if (!fs::exists(node / name)) {
      Write(node / name, nodeBus == "usb" ? std::to_string(nextDevnum_++) : "0x0001d2000000000A");
    }
    if (nodeBus == "usb" && !shape.idVendor.empty() && !fs::exists(node / "idVendor")) {
      Write(node / "idVendor", shape.idVendor);
      if (!shape.idProduct.empty()) Write(node / "idProduct", shape.idProduct);
    }
    std::ifstream in(node / name);
    in >> token;
    token = nodeBus == "usb" ? "d" + token : "g0001d2000000000a";
  }
  const fs::path hostDir = parent / ("host" + host);
  const fs::path device = hostDir / ("target" + target) / shape.hctl;
  Write(device / "type", std::to_string(shape.type));
  Write(device / "state", shape.state);
  Write(device / "vendor", "Corvane ");
  if (!shape.sg.empty()) {
    Write(device / "scsi_generic" / shape.sg / "dev", "21:" + shape.sg.substr(2));
    Write(dev_ / shape.sg, "");
    AddCharEntry(shape.sg, device / "scsi_generic" / shape.sg);
  }
  // The bus lists hosts and targets as well as devices.
  const fs::path bus = sys_ / "bus" / "scsi" / "devices";
  if (!fs::exists(fs::symlink_status(bus / ("host" + host)))) Link(bus / ("host" + host), hostDir);
  if (!fs::exists(fs::symlink_status(bus / ("target" + target)))) {
    Link(bus / ("target" + target), device.parent_path());
  }
  Link(bus / shape.hctl, device);
  const std::string devpath = shape.parent + "/host" + host + "/target" + target + "/" + shape.hctl;
  tokens_[devpath] = token;
  return devpath;
}

std::string FakeSysfs::Token(const std::string& devpath) const { return tokens_.at(devpath); }

void FakeSysfs::Replug(const std::string& devpath) {
  const fs::path node = Dir(devpath).parent_path().parent_path().parent_path().parent_path();
  Write(node / "devnum", std::to_string(nextDevnum_));
  tokens_[devpath] = std::string(1, 'd').append(std::to_string(nextDevnum_++));
  Recreate(devpath);
}

void FakeSysfs::AddCharEntry(const std::string& sg, const fs::path& nodeDir) {
  RetireCharEntry(sg);
  Link(sys_ / "dev" / "char" / ("21:" + sg.substr(2)), nodeDir);
}

void FakeSysfs::RetireCharEntry(const std::string& sg) {
  const fs::path entry = sys_ / "dev" / "char" / ("21:" + sg.substr(2));
  if (!fs::exists(fs::symlink_status(entry))) return;
  fs::create_directories(base_ / "retired");
  fs::rename(entry, base_ / "retired" / std::to_string(retired_++));
}

void FakeSysfs::Recreate(const std::string& devpath) {
  const fs::path generic = Dir(devpath) / "scsi_generic";
  std::error_code error;
  for (fs::directory_iterator it(generic, error), last; !error && it != last; it.increment(error)) {
    AddCharEntry(it->path().filename().string(), it->path());
  }
}

void FakeSysfs::MoveSgNode(const std::string& devpath, const std::string& sg) {
  const fs::path generic = Dir(devpath) / "scsi_generic";
  std::error_code error;
  for (fs::directory_iterator it(generic, error), last; !error && it != last; it.increment(error)) {
    RetireCharEntry(it->path().filename().string());
  }
  fs::remove_all(generic);
  Write(generic / sg / "dev", "21:" + sg.substr(2));
  Write(dev_ / sg, "");
  AddCharEntry(sg, generic / sg);
}

void FakeSysfs::Remove(const std::string& devpath) {
  const fs::path dir = Dir(devpath);
  std::vector<std::string> nodes;
  std::error_code error;
  for (fs::recursive_directory_iterator it(dir, error), last; !error && it != last;
       it.increment(error)) {
    if (it->path().parent_path().filename() == "scsi_generic") {
      nodes.push_back(it->path().filename().string());
    }
  }
  for (const std::string& sg : nodes) RetireCharEntry(sg);
  fs::remove_all(dir);
}

void FakeSysfs::AddNvmeDisk(const std::string& controller, const std::string& name) {
  const fs::path disk = Dir(controller) / "nvme" / "nvme0" / name;
  Write(disk / "dev", "259:0");
  Link(sys_ / "class" / "block" / name, disk);
}

}  // namespace corvane::device::linuxdev::testing
