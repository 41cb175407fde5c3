#include "device/file_io.h"

namespace corvane::device {

std::string FileTooLargeText(const std::string& path, const ReadLimit& limit, std::uint64_t size) {
  const std::uint64_t max = limit.maxBytes;
  const std::string most = max >= (1u << 20) && max % (1u << 20) == 0 ? std::to_string(max >> 20) + " MiB"
                           : max >= 1024 && max % 1024 == 0         ? std::to_string(max >> 10) + " KiB"
                                                                    : std::to_string(max) + " bytes";
  return path + " is larger than " + std::string(limit.what) + " can be (" + std::to_string(size) +
         " bytes or more; at most " + most + ")";
}

}  // namespace corvane::device
