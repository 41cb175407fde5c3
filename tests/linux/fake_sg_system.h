// Scripted sg system calls for the tests: no device, no root rights.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "device/linux/sg_scsi_port.h"

namespace corvane::device::linuxdev::testing {

// Scripted system calls; records what the port asked for and checks every open is closed.
struct FakeSgSystem : SgSystem {
  std::map<std::string, int> openErrors;  // node file name -> errno
  std::map<std::string, unsigned>
      minorOf;  // node file name -> minor it reports; default: its number
  std::function<void()> onOpen;
  int ioctlError = 0;
  sg_io_hdr answer{};                     // status fields copied back into the request
  std::vector<std::uint8_t> deviceBytes;  // written into data-in transfers
  std::set<std::string> rejecting;        // nodes that answer every command with CHECK CONDITION

  std::vector<std::pair<std::string, int>> opens;
  std::vector<sg_io_hdr> requests;
  std::vector<std::vector<std::uint8_t>> cdbs;
  int openFds = 0;

  int Open(const std::string& node, int flags, int& fd) override {
    const std::string name = std::filesystem::path(node).filename().string();
    opens.emplace_back(name, flags);
    if (onOpen) onOpen();
    if (auto it = openErrors.find(name); it != openErrors.end()) return it->second;
    fd = 100 + std::stoi(name.substr(2));
    ++openFds;
    return 0;
  }
  int CharDeviceNumber(int fd, std::uint32_t& majorNumber, std::uint32_t& minorNumber) override {
    majorNumber = 21;
    const std::string name = "sg" + std::to_string(fd - 100);
    minorNumber = minorOf.count(name) ? minorOf[name] : static_cast<std::uint32_t>(fd - 100);
    return 0;
  }
  int SgIo(int fd, sg_io_hdr& request) override {
    requests.push_back(request);
    cdbs.emplace_back(request.cmdp, request.cmdp + request.cmd_len);
    if (ioctlError != 0) return ioctlError;
    const bool rejects = rejecting.count("sg" + std::to_string(fd - 100)) != 0;
    if (request.dxfer_direction == SG_DXFER_FROM_DEV && !rejects) {
      auto* data = static_cast<std::uint8_t*>(request.dxferp);
      for (std::size_t i = 0; i < deviceBytes.size() && i < request.dxfer_len; ++i)
        data[i] = deviceBytes[i];
    }
    request.status = rejects ? 2 : answer.status;
    request.host_status = answer.host_status;
    request.driver_status = answer.driver_status;
    request.resid = answer.resid;
    return 0;
  }
  void Close(int) override { --openFds; }
};

}  // namespace corvane::device::linuxdev::testing
