// Linked into every host test program: its data (heap and private mappings) is capped at 1 GiB
// before any test runs, and so is that of the programs it starts. A test that runs away and keeps
// recording then fails its next allocation instead of taking the machine's memory; no test needs
// more than a few tens of megabytes. The sanitizers' shadow memory is far larger than the cap, so
// their builds go without it.
#include <sys/resource.h>

#include <cstdio>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CORVANE_NO_MEMORY_CAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define CORVANE_NO_MEMORY_CAP 1
#endif
#endif

namespace {

#ifndef CORVANE_NO_MEMORY_CAP
constexpr rlim_t kCapBytes = rlim_t{1} << 30;

const bool kCapped = [] {
  rlimit limit{};
  if (::getrlimit(RLIMIT_DATA, &limit) != 0) return false;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= kCapBytes) return true;  // already lower
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > kCapBytes ? kCapBytes : limit.rlim_max;
  if (::setrlimit(RLIMIT_DATA, &limit) != 0) {
    std::perror("test memory cap: setrlimit(RLIMIT_DATA)");
    return false;
  }
  return true;
}();
#endif

}  // namespace
