// Rebranding the identification fields of the bridge's 512-byte NVRAM block.
#pragma once

#include <cstdint>
#include <string_view>

#include "firmware/update_context.h"

namespace corvane::firmware {

bool RewriteNvramVendorStrings(UpdateContext& form, std::string_view path,
                               std::uint32_t nvramAddress);

}  // namespace corvane::firmware
