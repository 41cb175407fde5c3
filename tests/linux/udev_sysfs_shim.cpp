// Loaded into udevadm by udev_rule_test.sh: udev refuses a device tree that is not on sysfs, and
// the test's fake tree is a plain folder bound over /sys in a private mount namespace. Every
// filesystem is reported as sysfs, which is all that check looks at.
#include <dlfcn.h>
#include <linux/magic.h>
#include <sys/statfs.h>

namespace {

template <typename Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int fstatfs64(int fd, struct statfs64* buf) {
  static const auto real = Next<int (*)(int, struct statfs64*)>("fstatfs64");
  const int result = real(fd, buf);
  if (result == 0) buf->f_type = SYSFS_MAGIC;
  return result;
}

extern "C" int statfs64(const char* path, struct statfs64* buf) {
  static const auto real = Next<int (*)(const char*, struct statfs64*)>("statfs64");
  const int result = real(path, buf);
  if (result == 0) buf->f_type = SYSFS_MAGIC;
  return result;
}
