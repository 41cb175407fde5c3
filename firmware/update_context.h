// What the flash procedure needs from the window: the chip, the progress bar, the message queue,
// and somewhere to say why an update failed.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane::firmware {

// The step of an update at which it failed.
enum class UpdateStep {
  PlaceholderRefused,     // this build carries placeholder images and the device is real
  NoImage,                // no carried image for this chip, or one that does not fit the buffer
  ChipInfoRead,           // the chip information could not be read
  Descriptor,             // the download-buffer descriptor could not be read or was not expected
  ManufacturingImage,     // the boot-ROM path's manufacturing image is not carried
  ManufacturingDownload,  // the manufacturing image was not taken
  StartManufacturing,     // the command that starts the manufacturing code failed
  BlockWrite,             // a WRITE BUFFER block was refused (offset: its flash offset)
  ReadBack,               // a READ BUFFER of the read-back failed
  ReadBackMismatch,       // the read-back differs (offset: the first differing byte)
  NvramRead,              // "Get NVRAM Fail." before the write
  NvramWrite,             // "Set NVRAM Fail."
  NvramReadBack,          // "Get NVRAM Fail." after the write
  NvramMismatch,          // "Compare Fail." (offset: the first differing byte)
  RestoreRefused,         // the backup may not be written onto this adaptor (nothing was sent)
};

struct UpdateFailure {
  UpdateStep step = UpdateStep::NoImage;
  std::uint32_t offset = 0;  // where it applies (see UpdateStep)
  int attempt = 0;           // 1 or 2 for the firmware steps; 0 where there is none
};

// Words for a failure, for a person reading a log ("the read-back differs at offset 0x1FF").
std::string_view UpdateStepName(UpdateStep step);

class UpdateContext {
 public:
  virtual ~UpdateContext() = default;
  virtual std::uint8_t ChipCode() const = 0;  // low byte of the form's ChipId
  virtual void SetProgress(int percent) = 0;  // UpdateProgressBar, 0..100
  virtual void ProcessPendingMessages() = 0;  // let the window handle what is queued, once
  // Told where a firmware or NVRAM procedure gave up, just before it returns false.
  virtual void ReportFailure(const UpdateFailure& failure) { (void)failure; }
};

}  // namespace corvane::firmware
