#include "device/linux/device_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace corvane::device::linuxdev {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text;
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

struct MarkerCase {
  Attachment attachment;
  const char* devpath;
  bool usbsto, scsi, sbp2;  // what the discovery substring tests must see
};

// Whatever the directory names, the path must show its own attachment and no other, also after
// the scan lower-cases it, and it must read back to the same devpath.
TEST(DevicePath, ShowsOnlyItsOwnAttachmentAndReadsBack) {
  const MarkerCase cases[] = {
      {Attachment::BulkOnly,
       "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host7/target7:0:0/7:0:0:0", true, false,
       false},
      {Attachment::Uas,
       "/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0", false, true,
       false},
      {Attachment::Sbp2, "/devices/pci0000:00/0000:05:00.0/fw1/fw1.0/host9/target9:0:0/9:0:0:0",
       false, false, true},
      {Attachment::Internal, "/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0",
       false, false, false},
      // Directory names that carry the markers themselves, in any case, or a percent sign.
      {Attachment::BulkOnly,
       "/devices/platform/SCSI-bridge.0/usb1/1-1/1-1:1.0/host3/target3:0:0/3:0:0:0", true, false,
       false},
      {Attachment::Internal, "/devices/platform/sbp2.usbsto%scsi/host1/target1:0:0/1:0:0:0", false,
       false, false},
      {Attachment::Uas, "/devices/platform/UsbStoSbP2/host2/target2:0:0/2:0:0:0", false, true,
       false},
      {Attachment::Sbp2, "/devices/platform/sscsii/host4/target4:0:0/4:0:0:0", false, false, true},
  };
  for (const MarkerCase& c : cases) {
    SCOPED_TRACE(c.devpath);
    const std::string path = MakeDevicePath(c.attachment, c.devpath);
    for (const std::string& seen : {path, Lower(path)}) {
      EXPECT_EQ(Has(seen, "usbsto"), c.usbsto) << seen;
      EXPECT_EQ(Has(seen, "scsi"), c.scsi) << seen;
      EXPECT_EQ(Has(seen, "sbp2"), c.sbp2) << seen;
      const auto parsed = ParseDevicePath(seen);
      ASSERT_TRUE(parsed.has_value()) << seen;
      EXPECT_EQ(parsed->attachment, c.attachment);
      EXPECT_EQ(Lower(parsed->devpath), Lower(c.devpath));
    }
  }
}

TEST(DevicePath, RefusesWhatIsNoPlainDevicePath) {
  const char* refused[] = {
      "",
      "usbsto",
      "/dev/sg2",
      "sg:/devices/usb1/1-1",
      "usbsto:/sys/devices/usb1",
      "usbsto:/devices/../../etc/passwd",
      "usbsto:/devices/usb1/./1-1",
      "usbsto:/devices/usb1//1-1",
      "usbsto:/devices/usb1/",
      "usbsto:/devices/usb1%2f..%2f..",  // an escaped separator
      "usbsto:/devices/usb1%00",         // an escaped terminator
      "usbsto:/devices/usb1%7",          // a cut escape
      "usbsto:/devices/usb1%zz",
  };
  for (const char* path : refused) EXPECT_FALSE(ParseDevicePath(path).has_value()) << path;
}

}  // namespace
}  // namespace corvane::device::linuxdev
