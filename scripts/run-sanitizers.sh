#!/usr/bin/env bash
# Builds the test programs under the sanitizers and runs them with CTest (the qemu run, label e2e,
# is left out):
#   asan  AddressSanitizer + UndefinedBehaviorSanitizer with leak checking: the device, linux, sim,
#         firmware, app and cli suites (the cli suite runs the sanitized corvane-update) and the USB
#         gadget's protocol tests;
#   tsan  ThreadSanitizer: the window logic and the Qt window with its animation thread.
# The first report stops the program (halt_on_error=1, see the test presets in CMakePresets.json),
# so its test fails; there is no way for a report to pass unseen.
#
# Usage: scripts/run-sanitizers.sh [asan] [tsan]   (both when none is named)
# Bounded: every test case has a time-out of 300 s, the two fault matrices 1200 s (the presets set
# them; the slowest case takes about a minute), and the whole run stops after
# CORVANE_SANITIZER_LIMIT seconds (default 1800). On 2 shared cores a run from a
# cold cache takes about the time given in docs/performance.md; from a warm ccache far less.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then presets=(asan tsan); fi
limit=${CORVANE_SANITIZER_LIMIT:-1800}

run() {
  local preset=$1 start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
  ctest --preset "$preset" -j 2 --timeout 300
  echo "sanitizers: $preset clean ($((SECONDS - start)) s)"
}

for preset in "${presets[@]}"; do
  case $preset in
    asan | tsan) ;;
    *) echo "run-sanitizers: unknown preset '$preset' (asan, tsan)" >&2; exit 2 ;;
  esac
done

export -f run
start=$SECONDS
for preset in "${presets[@]}"; do
  remaining=$((limit - (SECONDS - start)))
  if [ "$remaining" -le 0 ]; then
    echo "run-sanitizers: over the limit of $limit s before $preset" >&2
    exit 1
  fi
  # errexit must hold inside the child shell too, or a failed test would pass unseen.
  timeout --foreground "$remaining" bash -euo pipefail -c "run $preset"
done
echo "sanitizers: all clean ($((SECONDS - start)) s)"
