// While it lives, the computer is kept from shutting down, sleeping or going idle, as far as the
// platform lets a command-line program; when that cannot be had, standard error says so and the
// write goes on without it.
#pragma once

#include <memory>

namespace corvane::app::cli {

class ShutdownLock {
 public:
  ShutdownLock();
  ~ShutdownLock();
  ShutdownLock(const ShutdownLock&) = delete;
  ShutdownLock& operator=(const ShutdownLock&) = delete;

 private:
  struct Held;
  std::unique_ptr<Held> held_;
};

}  // namespace corvane::app::cli
