// The simulator's disks under the names Windows would give them, for the emulated Windows storage
// stack of the Windows demo and the Windows tests.
#pragma once

#include <cstddef>
#include <string>

#include "device/windows/emulated_disk_list.h"
#include "sim/sim.h"

namespace corvane::sim {

// The disk-class interface path SetupDi would list for scenario device `index`, in the lower case
// in which Windows gives these paths, e.g. for a bulk-only adaptor
//   \\?\usbstor#disk&ven_corvane&prod_kts260_nvme&rev_0108#3c9f00000000&0#
//       {53f56307-b6bf-11d0-94f2-00a0c91efb8b}   (one path, no break)
// UAS disks sit below "scsi#", 1394 disks below "sbp2#", internal disks below "ide#". Vendor,
// product and revision come from the device's INQUIRY strings; the index makes the instance part
// unique.
std::string WindowsInterfacePath(const DeviceConfig& device, std::size_t index);

// The emulator's listing of a world built from `scenario`: every plugged device with its Windows
// path, its simulator path (none when the scenario makes the path unreadable) and whether its
// opens are refused for lack of rights. The world must outlive the listing.
device::windows::EmulatedDiskLister WindowsDiskLister(const Scenario& scenario,
                                                      const SimWorld& world);

}  // namespace corvane::sim
