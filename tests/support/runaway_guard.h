// Stops a test that runs away. A timer that fires at every tick, a wait whose deadline never comes
// or a rescan that starts the next one would keep a test going until CTest's time-out while its
// recordings grow without end; with these bounds it ends within a moment of real time, saying what
// ran away. No test comes near them: the longest needs under two minutes of virtual time and a
// handful of scans.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace corvane::test_support {

// Ends the test program at once: an exception could be caught by the very handler that loops (the
// windows show what escapes a handler and carry on), and the fuzzers take an abort as a finding.
[[noreturn]] inline void StopRunawayTest(const std::string& what) {
  std::fflush(stdout);
  std::fprintf(stderr,
               "\nRUNAWAY TEST STOPPED: %s.\nSomething keeps the test going that should have "
               "ended: a timer firing at every tick, a wait that never ends, a rescan that starts "
               "the next one.\n",
               what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace corvane::test_support
