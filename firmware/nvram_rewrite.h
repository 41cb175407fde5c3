// Rebranding the identification fields of the bridge's 512-byte NVRAM block.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "firmware/update_context.h"

namespace corvane::firmware {

// Writes the whole 512-byte block at `nvramAddress` (sub-code 1), each access after the bridge is
// ready, and reads it back to compare; failures go to the debug channel and the form.
bool WriteNvramBlock(UpdateContext& form, std::string_view path, std::uint32_t nvramAddress,
                     std::span<const std::uint8_t, 512> block);

// The rebranding itself, on a block in memory: the maker's name, in any case, becomes the brand
// where it stands in one of the three identification fields; nothing else changes.
void RebrandNvramBlock(std::span<std::uint8_t, 512> block);

bool RewriteNvramVendorStrings(UpdateContext& form, std::string_view path,
                               std::uint32_t nvramAddress);

}  // namespace corvane::firmware
