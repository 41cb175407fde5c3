// Writing the carried firmware into a bridge's flash through WRITE BUFFER and verifying it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "firmware/update_context.h"

namespace corvane::firmware {

// The debug trace of a refused write (no line end).
inline constexpr std::string_view kPlaceholderRefusedText =
    "Placeholder firmware refused for a real device: this build carries generated placeholder "
    "images, not the chip maker's firmware (build with CORVANE_FIRMWARE_DIR).";

// True when the live port is the simulator's: the adaptor behind it is a virtual one.
bool AdaptorIsSimulated();

// True when this build carries placeholder images and the live port is not the simulator: then
// UpdateFirmware and the writers refuse before sending any write command, and a front end should
// tell the user that this build cannot update a real adaptor.
bool PlaceholderImagesBlockWrite();
// The same test, for the procedures themselves: when it holds, the refusal goes to the debug
// channel and to the form, and the caller returns false before sending any write.
bool RefusePlaceholderWrite(UpdateContext& form);

bool UpdateFirmware(UpdateContext& form, std::string_view path);
// `image` is the update's image buffer: kMaxImageSize bytes (firmware/chip_profiles.h), zeros past the image's end. A running
// bridge whose download buffer is larger than that buffer is refused before anything is written.
bool WriteNvmeBridgeFlash(UpdateContext& form, std::string_view path, std::uint32_t flashOffset,
                          const std::uint8_t* image, std::uint32_t length, bool romMode);
bool WriteSataBridgeFlash(UpdateContext& form, std::string_view path, std::uint32_t flashOffset,
                          const std::uint8_t* image, std::uint32_t length, bool romMode,
                          int selector);
// Writes the adaptor's own firmware area (as a backup holds it: exactly the chip's firmware area)
// through the chip's writer, and reads it back and compares it as UpdateFirmware does.
bool RestoreFirmwareArea(UpdateContext& form, std::string_view path,
                         std::span<const std::uint8_t> area);
// The chip's writer for bytes that came from an adaptor rather than from the carried image. A
// build with placeholder images writes nothing into a real adaptor here either: such a build is
// never trusted with a real bridge, whatever bytes it was handed.
bool WriteOwnFirmwareArea(UpdateContext& form, std::string_view path, std::uint8_t chipCode,
                          const std::uint8_t* image, std::uint32_t length, bool romMode);
bool ReadBackFlash(std::string_view path, std::uint32_t flashOffset, std::uint8_t* destination,
                   std::uint32_t length);

}  // namespace corvane::firmware
