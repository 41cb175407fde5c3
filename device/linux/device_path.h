// The text form of a Linux disk path and the sysfs lookups behind it.
//
// A path reads "<attachment>:<devpath>[#<plug token>]", for example
//   usbsto:/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0#d5
// The attachment word carries exactly one of the substrings the discovery rules look for
// ("usbsto", "scsi", "sbp2") or none of them ("internal"); the devpath is the SCSI device's
// directory below the sysfs root, the way the kernel names it in its uevents. The devpath, not
// the sg number, is the identity: sg numbers are handed out again after a re-plug. The plug token
// after '#' tells this plug-in of the device from a later one at the same place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::device::linuxdev {

enum class Attachment {
  BulkOnly,  // usb-storage
  Uas,       // uas
  Sbp2,      // firewire_sbp2
  Internal,  // anything else: ata, nvme, virtio, SAS, ...
};

// "usbsto", "uas-scsi", "sbp2" or "internal".
std::string_view AttachmentWord(Attachment attachment);

// The attachment a SCSI host gets from the driver bound to the device above it.
Attachment AttachmentFromDriver(std::string_view driverName);

// Builds the path for a devpath ("/devices/...") and the device's plug token, if it has one.
// Inside the devpath, '%', '#' and the first letter of every (case-insensitive) "usbsto", "scsi"
// or "sbp2" are written as %XX, so a directory name can never make the path look like another
// attachment. The token follows a '#'.
std::string MakeDevicePath(Attachment attachment, std::string_view devpath,
                           std::string_view plugToken = {});

struct ParsedDevicePath {
  Attachment attachment = Attachment::Internal;
  std::string devpath;    // decoded; its letters may have been lower-cased by the caller
  std::string plugToken;  // empty when the path carries none
};

// Reads a path made by MakeDevicePath, also after it was lower-cased. Refuses anything that is
// not a plain "/devices/..." path: empty, "." or ".." components, bad escapes, NUL bytes.
std::optional<ParsedDevicePath> ParseDevicePath(std::string_view path);

// Finds the directory of a devpath under the sysfs root, matching each component exactly or
// else case-insensitively (one match only). Symbolic links are not followed, so the walk stays
// inside the device tree.
std::optional<std::filesystem::path> ResolveDevpath(const std::filesystem::path& sysfsRoot,
                                                    std::string_view devpath);

// The attachment of a SCSI device directory ".../hostH/.../H:C:T:L": the driver bound to the
// parent of hostH decides. Internal when there is no such host or no driver.
Attachment ClassifyScsiDevice(const std::filesystem::path& deviceDir);

// What tells one plug-in of a device from the next at the same place: the USB device number
// ("d5"; the kernel hands these out round-robin, so a re-plug gets a new one) or the FireWire
// node's GUID ("g0001d200001234ab"). Empty for devices without either (internal disks).
std::string PlugToken(const std::filesystem::path& deviceDir);
bool SamePlugToken(std::string_view a, std::string_view b);  // ignoring case

// The USB vendor id ("idVendor") or product id ("idProduct") of the USB device above a SCSI device
// directory on usb-storage or uas, read from sysfs without opening anything; nullopt for other
// attachments or when sysfs does not show it.
std::optional<std::uint16_t> UsbVendorId(const std::filesystem::path& deviceDir);
std::optional<std::uint16_t> UsbProductId(const std::filesystem::path& deviceDir);

// The name of the sg node of a SCSI device directory ("sg2"), if it has one.
std::optional<std::string> SgNodeName(const std::filesystem::path& deviceDir);

// The first line of a small sysfs attribute file, without the line end.
std::optional<std::string> ReadAttribute(const std::filesystem::path& file);

}  // namespace corvane::device::linuxdev
