#include "tools/usb_gadget/functionfs_gadget.h"

#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "tools/usb_gadget/ffs_descriptors.h"

namespace corvane::tools::usb_gadget {
namespace {

constexpr const char* kConfigFs = "/sys/kernel/config/usb_gadget";

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

void MakeDir(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) Fail("mkdir " + dir);
}

void WriteText(const std::string& file, const std::string& text) {
  const int fd = ::open(file.c_str(), O_WRONLY);
  if (fd < 0) Fail("open " + file);
  const ssize_t n = ::write(fd, text.data(), text.size());
  const int saved = errno;
  ::close(fd);
  errno = saved;
  if (n < 0 || static_cast<std::size_t>(n) != text.size()) Fail("write " + file);
}

std::string Hex16(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04x", value);
  return text;
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes, const char* what) {
  if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) Fail(what);
}

}  // namespace

FunctionFsGadget::FunctionFsGadget(GadgetIdentity identity) : identity_(std::move(identity)) {}

FunctionFsGadget::~FunctionFsGadget() {
  for (int fd : {in_, out_, ep0_}) {
    if (fd >= 0) ::close(fd);
  }
}

std::string FunctionFsGadget::GadgetDir() const { return std::string(kConfigFs) + "/" + identity_.name; }
std::string FunctionFsGadget::MountDir() const { return "/dev/ffs-" + identity_.name; }

void FunctionFsGadget::Create() {
  const std::string g = GadgetDir();
  MakeDir(g);
  WriteText(g + "/idVendor", Hex16(identity_.vendorId));
  WriteText(g + "/idProduct", Hex16(identity_.productId));
  WriteText(g + "/bcdDevice", "0x0100");
  WriteText(g + "/bcdUSB", "0x0200");
  MakeDir(g + "/strings/0x409");
  WriteText(g + "/strings/0x409/manufacturer", identity_.manufacturer);
  WriteText(g + "/strings/0x409/product", identity_.product);
  WriteText(g + "/strings/0x409/serialnumber", identity_.serial);
  MakeDir(g + "/configs/c.1");
  MakeDir(g + "/configs/c.1/strings/0x409");
  WriteText(g + "/configs/c.1/strings/0x409/configuration", "Bulk-Only");
  WriteText(g + "/configs/c.1/MaxPower", "100");
  const std::string function = g + "/functions/ffs." + identity_.name;
  MakeDir(function);
  const std::string link = g + "/configs/c.1/ffs." + identity_.name;
  if (::symlink(function.c_str(), link.c_str()) != 0 && errno != EEXIST) Fail("link " + link);

  MakeDir(MountDir());
  if (::mount(identity_.name.c_str(), MountDir().c_str(), "functionfs", 0, nullptr) != 0 && errno != EBUSY) {
    Fail("mount functionfs " + identity_.name);
  }
  ep0_ = ::open((MountDir() + "/ep0").c_str(), O_RDWR);
  if (ep0_ < 0) Fail("open ep0");
  WriteAll(ep0_, BuildFunctionFsDescriptors(), "write descriptors");
  WriteAll(ep0_, BuildFunctionFsStrings("Bulk-Only"), "write strings");
  // Only now do the endpoint files exist.
  in_ = ::open((MountDir() + "/ep1").c_str(), O_RDWR);
  if (in_ < 0) Fail("open ep1");
  out_ = ::open((MountDir() + "/ep2").c_str(), O_RDWR);
  if (out_ < 0) Fail("open ep2");
}

void FunctionFsGadget::Plug() { WriteText(GadgetDir() + "/UDC", identity_.udc); }

void FunctionFsGadget::Unplug() {
  // Writing an empty line detaches the gadget from its controller: the host sees a disconnect.
  try {
    WriteText(GadgetDir() + "/UDC", "\n");
  } catch (const std::runtime_error& e) {
    std::fprintf(stderr, "gadget %s: unplug: %s\n", identity_.name.c_str(), e.what());
  }
}

void FunctionFsGadget::RunControl(const std::function<void()>& onUnbind) {
  usb_functionfs_event events[4];
  for (;;) {
    const ssize_t n = ::read(ep0_, events, sizeof events);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("read ep0");
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof events[0]; ++i) {
      const usb_functionfs_event& event = events[i];
      if (event.type == FUNCTIONFS_UNBIND) {
        onUnbind();
        continue;
      }
      if (event.type != FUNCTIONFS_SETUP) continue;
      const usb_ctrlrequest& setup = event.u.setup;
      const bool toHost = (setup.bRequestType & USB_DIR_IN) != 0;
      const bool classRequest = (setup.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS;
      if (classRequest && setup.bRequest == 0xFE && toHost) {
        // Get Max LUN: one logical unit, number 0.
        const std::uint8_t maxLun = 0;
        if (::write(ep0_, &maxLun, 1) < 0) std::perror("gadget: answer Get Max LUN");
      } else if (classRequest && setup.bRequest == 0xFF && !toHost) {
        // Bulk-Only Mass Storage Reset: the command in flight was already abandoned; acknowledge.
        if (::read(ep0_, nullptr, 0) < 0) std::perror("gadget: acknowledge reset");
      } else {
        // Anything else is refused with a stall: a read on an IN request, a write on an OUT request.
        std::uint8_t dummy = 0;
        if (toHost) {
          [[maybe_unused]] auto r = ::read(ep0_, &dummy, 0);
        } else {
          [[maybe_unused]] auto r = ::write(ep0_, &dummy, 0);
        }
      }
    }
  }
}

long FunctionFsGadget::ReadOut(std::span<std::uint8_t> buffer) {
  for (;;) {
    const ssize_t n = ::read(out_, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

long FunctionFsGadget::WriteIn(std::span<const std::uint8_t> data) {
  for (;;) {
    const ssize_t n = ::write(in_, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

// FunctionFS halts an endpoint when it is used against its direction.
void FunctionFsGadget::StallIn() {
  std::uint8_t dummy = 0;
  [[maybe_unused]] auto r = ::read(in_, &dummy, 1);
}

void FunctionFsGadget::StallOut() {
  std::uint8_t dummy = 0;
  [[maybe_unused]] auto r = ::write(out_, &dummy, 1);
}

}  // namespace corvane::tools::usb_gadget
