#include "device/linux/device_path.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <system_error>

namespace corvane::device::linuxdev {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 3> kMarkers{"usbsto", "scsi", "sbp2"};
constexpr std::string_view kDevicesPrefix = "/devices/";

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool MarkerStartsAt(std::string_view text, std::size_t pos) {
  for (std::string_view marker : kMarkers) {
    if (text.size() - pos >= marker.size() &&
        EqualsIgnoringCase(text.substr(pos, marker.size()), marker)) {
      return true;
    }
  }
  return false;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendEscaped(std::string& out, char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto byte = static_cast<unsigned char>(c);
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0') return std::nullopt;
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    const char decoded = static_cast<char>(high * 16 + low);
    // An escape must not smuggle in a separator or a terminator.
    if (decoded == '\0' || decoded == '/') return std::nullopt;
    out += decoded;
    i += 2;
  }
  return out;
}

bool IsPlainDevpath(std::string_view devpath) {
  if (devpath.substr(0, kDevicesPrefix.size()) != kDevicesPrefix) return false;
  std::size_t start = 1;
  while (start <= devpath.size()) {
    const std::size_t end = std::min(devpath.find('/', start), devpath.size());
    const std::string_view component = devpath.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

// The host number H of a SCSI device name "H:C:T:L".
std::optional<std::string> HostNumberOf(const std::string& deviceName) {
  const std::size_t colon = deviceName.find(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  for (std::size_t i = 0; i < colon; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(deviceName[i]))) return std::nullopt;
  }
  return deviceName.substr(0, colon);
}

// Letters and digits only, so a token never holds a separator or one of the attachment words.
bool IsPlugToken(std::string_view token) {
  if (token.empty() || token.size() > 32) return false;
  for (char c : token) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// The ".../hostH" directory above a SCSI device directory ".../H:C:T:L".
std::optional<fs::path> HostDirOf(const fs::path& deviceDir) {
  const std::optional<std::string> host = HostNumberOf(deviceDir.filename().string());
  if (!host) return std::nullopt;
  const std::string hostName = "host" + *host;
  for (fs::path dir = deviceDir; dir.has_relative_path() && dir != dir.parent_path();
       dir = dir.parent_path()) {
    if (dir.filename() == hostName) return dir;
  }
  return std::nullopt;
}

}  // namespace

std::string_view AttachmentWord(Attachment attachment) {
  switch (attachment) {
    case Attachment::BulkOnly:
      return "usbsto";
    case Attachment::Uas:
      return "uas-scsi";
    case Attachment::Sbp2:
      return "sbp2";
    case Attachment::Internal:
      break;
  }
  return "internal";
}

Attachment AttachmentFromDriver(std::string_view driverName) {
  if (driverName == "usb-storage") return Attachment::BulkOnly;
  if (driverName == "uas") return Attachment::Uas;
  if (driverName == "firewire_sbp2") return Attachment::Sbp2;
  return Attachment::Internal;
}

std::string MakeDevicePath(Attachment attachment, std::string_view devpath,
                           std::string_view plugToken) {
  std::string path(AttachmentWord(attachment));
  path += ':';
  for (std::size_t i = 0; i < devpath.size(); ++i) {
    if (devpath[i] == '%' || devpath[i] == '#' || MarkerStartsAt(devpath, i)) {
      AppendEscaped(path, devpath[i]);
    } else {
      path += devpath[i];
    }
  }
  if (!plugToken.empty()) {
    path += '#';
    path += plugToken;
  }
  return path;
}

std::optional<ParsedDevicePath> ParseDevicePath(std::string_view path) {
  const std::size_t colon = path.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view word = path.substr(0, colon);
  ParsedDevicePath parsed;
  bool known = false;
  for (Attachment candidate :
       {Attachment::BulkOnly, Attachment::Uas, Attachment::Sbp2, Attachment::Internal}) {
    if (EqualsIgnoringCase(word, AttachmentWord(candidate))) {
      parsed.attachment = candidate;
      known = true;
    }
  }
  if (!known) return std::nullopt;
  std::string_view rest = path.substr(colon + 1);
  if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
    parsed.plugToken = rest.substr(hash + 1);
    rest = rest.substr(0, hash);
    if (!IsPlugToken(parsed.plugToken)) return std::nullopt;
  }
  std::optional<std::string> devpath = Unescape(rest);
  if (!devpath || !IsPlainDevpath(*devpath)) return std::nullopt;
  parsed.devpath = std::move(*devpath);
  return parsed;
}

std::optional<fs::path> ResolveDevpath(const fs::path& sysfsRoot, std::string_view devpath) {
  if (!IsPlainDevpath(devpath)) return std::nullopt;
  fs::path current = sysfsRoot;
  std::size_t start = 1;
  while (start <= devpath.size()) {
    const std::size_t end = std::min(devpath.find('/', start), devpath.size());
    const std::string component(devpath.substr(start, end - start));
    start = end + 1;

    std::error_code error;
    fs::path next = current / component;
    if (!fs::exists(fs::symlink_status(next, error))) {
      // The scan lower-cases paths, so "pnp0d10:00" has to find "PNP0D10:00" again.
      std::optional<fs::path> match;
      for (fs::directory_iterator it(current, error), last; !error && it != last;
           it.increment(error)) {
        if (EqualsIgnoringCase(it->path().filename().string(), component)) {
          if (match) return std::nullopt;  // ambiguous: refuse rather than guess
          match = it->path();
        }
      }
      if (error || !match) return std::nullopt;
      next = *match;
    }
    const fs::file_status status = fs::symlink_status(next, error);
    if (error || fs::is_symlink(status) || !fs::is_directory(status)) return std::nullopt;
    current = next;
  }
  return current;
}

Attachment ClassifyScsiDevice(const fs::path& deviceDir) {
  const std::optional<fs::path> host = HostDirOf(deviceDir);
  if (!host) return Attachment::Internal;
  // One readlink(2): the port asks this before every command, and under emulation each sysfs
  // call counts (read_symlink would lstat first).
  const fs::path link = host->parent_path() / "driver";
  std::array<char, 4096> target{};
  const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return Attachment::Internal;
  const std::string_view text(target.data(), static_cast<std::size_t>(length));
  const std::size_t slash = text.rfind('/');
  return AttachmentFromDriver(slash == std::string_view::npos ? text : text.substr(slash + 1));
}

std::string PlugToken(const fs::path& deviceDir) {
  const std::optional<fs::path> host = HostDirOf(deviceDir);
  if (!host) return {};
  // USB: the interface's device; FireWire: the unit's node.
  const fs::path device = host->parent_path().parent_path();
  if (const auto devnum = ReadAttribute(device / "devnum"); devnum && IsPlugToken(*devnum)) {
    return "d" + *devnum;
  }
  if (auto guid = ReadAttribute(device / "guid"); guid && guid->size() > 2) {
    std::string token(1, 'g');
    token.append(*guid, guid->compare(0, 2, "0x") == 0 ? 2 : 0);
    for (char& c : token) c = LowerAscii(c);
    if (IsPlugToken(token)) return token;
  }
  return {};
}

namespace {

std::optional<std::uint16_t> UsbIdAttribute(const fs::path& deviceDir, const char* name) {
  const Attachment attachment = ClassifyScsiDevice(deviceDir);
  if (attachment != Attachment::BulkOnly && attachment != Attachment::Uas) return std::nullopt;
  const std::optional<fs::path> host = HostDirOf(deviceDir);
  if (!host) return std::nullopt;
  // hostH hangs off the USB interface ("2-1:1.0"), which belongs to the USB device ("2-1").
  const std::optional<std::string> text = ReadAttribute(host->parent_path().parent_path() / name);
  if (!text || text->size() != 4) return std::nullopt;
  std::uint16_t id = 0;
  for (char c : *text) {
    const int digit = HexValue(c);
    if (digit < 0) return std::nullopt;
    id = static_cast<std::uint16_t>(id << 4 | digit);
  }
  return id;
}

}  // namespace

std::optional<std::uint16_t> UsbVendorId(const fs::path& deviceDir) {
  return UsbIdAttribute(deviceDir, "idVendor");
}

std::optional<std::uint16_t> UsbProductId(const fs::path& deviceDir) {
  return UsbIdAttribute(deviceDir, "idProduct");
}

bool SamePlugToken(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

std::optional<std::string> SgNodeName(const fs::path& deviceDir) {
  std::error_code error;
  for (fs::directory_iterator it(deviceDir / "scsi_generic", error), last; !error && it != last;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() > 2 && name.compare(0, 2, "sg") == 0 &&
        name.find_first_not_of("0123456789", 2) == std::string::npos) {
      return name;
    }
  }
  return std::nullopt;
}

std::optional<std::string> ReadAttribute(const fs::path& file) {
  // A plain open, one read and a close: a stream costs several times that under emulation, and
  // the plug token is read before every command. sysfs hands out at most a page per attribute.
  int fd = -1;
  do {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::nullopt;
  std::array<char, 4096> buffer{};
  ssize_t length = -1;
  do {
    length = ::read(fd, buffer.data(), buffer.size());
  } while (length < 0 && errno == EINTR);
  ::close(fd);
  if (length <= 0) return std::nullopt;
  std::string line(buffer.data(), static_cast<std::size_t>(length));
  line.erase(std::min(line.find('\n'), line.size()));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

}  // namespace corvane::device::linuxdev
