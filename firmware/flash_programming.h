// Writing the carried firmware into a bridge's flash through WRITE BUFFER and verifying it.
#pragma once

#include <cstdint>
#include <string_view>

#include "firmware/update_context.h"

namespace corvane {

bool UpdateFirmware(UpdateContext& form, std::string_view path);
bool WriteNvmeBridgeFlash(UpdateContext& form, std::string_view path, std::uint32_t flashOffset,
                          const std::uint8_t* image, std::uint32_t length, bool romMode);
bool WriteSataBridgeFlash(UpdateContext& form, std::string_view path, std::uint32_t flashOffset,
                          const std::uint8_t* image, std::uint32_t length, bool romMode,
                          int selector);
bool ReadBackFlash(std::string_view path, std::uint32_t flashOffset, std::uint8_t* destination,
                   std::uint32_t length);

}  // namespace corvane
