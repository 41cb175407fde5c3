#include "device/linux/uevent_monitor.h"

#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>

namespace corvane::device::linuxdev {

namespace {

constexpr unsigned kKernelUeventGroup = 1;
// The kernel's uevents are at most 2048 bytes; the room above lets us notice a cut message.
constexpr std::size_t kReceiveBufferSize = 8192;
constexpr int kSocketBufferBytes = 1 << 20;  // rides out a burst such as a hub with many ports

}  // namespace

std::optional<Uevent> ParseUevent(std::span<const char> message) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= message.size(); ++i) {
    if (i == message.size() || message[i] == '\0') {
      if (i > start) fields.emplace_back(message.data() + start, i - start);
      start = i + 1;
    }
  }
  if (fields.empty()) return std::nullopt;

  const std::string_view header = fields.front();
  const std::size_t at = header.find('@');
  if (at == std::string_view::npos || at == 0 || at + 1 >= header.size()) return std::nullopt;
  Uevent event;
  event.action = header.substr(0, at);
  event.devpath = header.substr(at + 1);
  if (event.devpath.front() != '/') return std::nullopt;  // also refuses "libudev" headers

  for (std::size_t i = 1; i < fields.size(); ++i) {
    const std::size_t equals = fields[i].find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    event.values[std::string(fields[i].substr(0, equals))] =
        std::string(fields[i].substr(equals + 1));
  }
  const auto disagrees = [&event](const char* key, const std::string& expected) {
    const auto found = event.values.find(key);
    return found != event.values.end() && found->second != expected;
  };
  if (disagrees("ACTION", event.action) || disagrees("DEVPATH", event.devpath)) return std::nullopt;
  return event;
}

std::optional<std::uint32_t> MapUevent(const Uevent& event) {
  const auto value = [&event](const char* key) -> std::string_view {
    const auto found = event.values.find(key);
    return found == event.values.end() ? std::string_view() : std::string_view(found->second);
  };
  const std::string_view subsystem = value("SUBSYSTEM");
  const std::string_view devtype = value("DEVTYPE");
  const bool added = event.action == "add";
  const bool removed = event.action == "remove";

  if (removed && ((subsystem == "usb" && devtype == "usb_device") ||
                  (subsystem == "scsi" && devtype == "scsi_device"))) {
    return kDbtDeviceRemoveComplete;
  }
  if ((added || removed) &&
      ((subsystem == "block" && devtype == "disk") || subsystem == "scsi_generic")) {
    return kDbtDevNodesChanged;
  }
  return std::nullopt;
}

void DrainUevents(int fd, bool trustAnySender, std::vector<std::uint32_t>& codes) {
  std::array<char, kReceiveBufferSize> buffer{};
  bool lostMessages = false;
  for (;;) {
    sockaddr_nl sender{};
    iovec part{buffer.data(), buffer.size()};
    msghdr header{};
    header.msg_name = &sender;
    header.msg_namelen = sizeof(sender);
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    const ssize_t received = ::recvmsg(fd, &header, MSG_DONTWAIT);
    if (received < 0) {
      if (errno == EINTR) continue;
      if (errno == ENOBUFS) {  // the socket overflowed: some changes are lost
        lostMessages = true;
        continue;
      }
      break;  // EAGAIN: nothing more waiting; anything else: the socket is unusable
    }
    if (received == 0) {
      // A datagram socket reports an empty message as 0; a closed stream would too, so stop.
      break;
    }
    const bool fromKernel = header.msg_namelen >= sizeof(sockaddr_nl) &&
                            sender.nl_family == AF_NETLINK && sender.nl_pid == 0;
    if (!trustAnySender && !fromKernel) continue;  // only the kernel speaks on this group
    if ((header.msg_flags & MSG_TRUNC) != 0) continue;
    if (const std::optional<Uevent> event =
            ParseUevent(std::span<const char>(buffer.data(), static_cast<std::size_t>(received)))) {
      if (const std::optional<std::uint32_t> code = MapUevent(*event)) codes.push_back(*code);
    }
  }
  if (lostMessages) codes.push_back(kDbtDevNodesChanged);
}

UeventMonitor::UeventMonitor() {
  fd_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  // Best effort: a larger queue only makes an overflow rarer.
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &kSocketBufferBytes, sizeof(kSocketBufferBytes));
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = kKernelUeventGroup;
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    error_ = errno;
    ::close(fd_);
    fd_ = -1;
  }
}

UeventMonitor::~UeventMonitor() {
  if (fd_ >= 0) ::close(fd_);
}

bool UeventMonitor::Wait(int timeoutMs) {
  if (fd_ < 0) return false;
  pollfd watched{fd_, POLLIN, 0};
  return ::poll(&watched, 1, timeoutMs < 0 ? -1 : timeoutMs) > 0;
}

std::vector<std::uint32_t> UeventMonitor::ReadPending() {
  std::vector<std::uint32_t> codes;
  if (fd_ >= 0) DrainUevents(fd_, false, codes);
  return codes;
}

}  // namespace corvane::device::linuxdev
