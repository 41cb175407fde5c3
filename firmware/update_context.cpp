#include "firmware/update_context.h"

namespace corvane::firmware {

std::string_view UpdateStepName(UpdateStep step) {
  switch (step) {
    case UpdateStep::PlaceholderRefused:
      return "placeholder firmware refused for a real device: this build carries generated "
             "placeholder images, not the chip maker's firmware (build with "
             "CORVANE_FIRMWARE_DIR); nothing was written";
    case UpdateStep::NoImage: return "no carried firmware image for this chip";
    case UpdateStep::ChipInfoRead: return "the chip information could not be read";
    case UpdateStep::Descriptor: return "the download buffer descriptor was missing or unexpected";
    case UpdateStep::ManufacturingImage: return "no manufacturing image is carried for this chip";
    case UpdateStep::ManufacturingDownload: return "the manufacturing image was not taken";
    case UpdateStep::StartManufacturing: return "the manufacturing code could not be started";
    case UpdateStep::BlockWrite: return "a firmware block was refused";
    case UpdateStep::ReadBack: return "the firmware could not be read back";
    case UpdateStep::ReadBackMismatch: return "the firmware read back differs from what was written";
    case UpdateStep::NvramRead: return "the NVRAM block could not be read";
    case UpdateStep::NvramWrite: return "the NVRAM block could not be written";
    case UpdateStep::NvramReadBack: return "the NVRAM block could not be read back";
    case UpdateStep::NvramMismatch: return "the NVRAM block read back differs from what was written";
    case UpdateStep::RestoreRefused:
      return "the backup may not be written onto this adaptor; nothing was written";
  }
  return "unknown";
}

}  // namespace corvane::firmware
