// What the flash procedure needs from the window: the chip, the progress bar, the message queue.
#pragma once

#include <cstdint>

namespace corvane {

class UpdateContext {
 public:
  virtual ~UpdateContext() = default;
  virtual std::uint8_t ChipCode() const = 0;  // low byte of the form's ChipId
  virtual void SetProgress(int percent) = 0;  // UpdateProgressBar, 0..100
  virtual void ProcessPendingMessages() = 0;  // let the window handle what is queued, once
};

}  // namespace corvane
