#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors, runs every test on Linux, then builds the
# Windows programs (32-bit x86 and x64) and runs their tests under Wine. This is what CI runs.
#
#   scripts/run-tests.sh            everything
#   scripts/run-tests.sh --quick    the loop after a change: the ci build and every CTest test except
#                                   the qemu guest (label e2e); no package, sanitizer, fuzz or
#                                   Windows step
#
# Every build compiles through ccache (cmake/ccache.cmake), so a second run, or a run from another
# clone on the same machine, recompiles only what changed. The table at the end gives each step's
# time and result, also when a step fails (docs/performance.md has the measured figures).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  -h | --help) sed -n '2,12p' "$0"; exit 0 ;;
  *) echo "run-tests: unknown argument '$1' (use --quick or nothing)" >&2; exit 2 ;;
esac

# The step table: one row per step, printed when the script ends, whichever way it ends.
step_names=()
step_times=()
step_results=()
run_started=$SECONDS
print_table() {
  local rc=$? i
  echo
  printf '%-44s %8s  %s\n' "step" "seconds" "result"
  for i in "${!step_names[@]}"; do
    printf '%-44s %8s  %s\n' "${step_names[$i]}" "${step_times[$i]}" "${step_results[$i]}"
  done
  printf '%-44s %8s  %s\n' "total$([ "$quick" = 1 ] && echo ' (--quick)')" "$((SECONDS - run_started))" \
    "$([ "$rc" -eq 0 ] && echo ok || echo "FAILED (exit $rc)")"
  if [ "${CORVANE_CCACHE_ZERO:-0}" = 1 ] && command -v ccache >/dev/null; then
    # This run's hits (the statistics were zeroed after the bootstrap; with a cache shared by other
    # builds at the same time, give the run a CCACHE_DIR of its own).
    ccache --print-stats 2>/dev/null | awk -F'\t' '
      $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hit += $2 }
      $1 == "cache_miss" { miss = $2 }
      END { if (hit + miss > 0) printf "ccache: %d hits, %d misses (%.0f %% hits)\n", hit, miss, 100 * hit / (hit + miss) }'
  fi
  exit "$rc"
}
trap print_table EXIT

# step NAME COMMAND...: runs one step and records its time; a failed step ends the run.
step() {
  local name=$1 start=$SECONDS rc=0
  shift
  echo "== $name"
  "$@" || rc=$?
  step_names+=("$name")
  step_times+=("$((SECONDS - start))")
  if [ "$rc" -ne 0 ]; then
    step_results+=("FAILED (exit $rc)")
    exit "$rc"
  fi
  step_results+=(ok)
}

step "bootstrap" scripts/bootstrap.sh
if [ "${CORVANE_CCACHE_ZERO:-0}" = 1 ]; then ccache --zero-stats >/dev/null; fi

step "ci: configure" cmake --preset ci
step "ci: build" cmake --build --preset ci -j 2
if [ "$quick" = 1 ]; then
  step "ci: ctest (all but e2e)" ctest --preset ci -j 2 --timeout 900 --label-exclude e2e
  exit 0
fi
step "ci: ctest" ctest --preset ci -j 2 --timeout 900
step "fault matrix table" scripts/run-fault-matrix.sh build/ci
step "package check" scripts/check-package.sh build/ci
# The suites again under AddressSanitizer + UndefinedBehaviorSanitizer and ThreadSanitizer, then a
# short run of every fuzz target (docs/sanitizers.md, docs/fuzzing.md for the long forms).
step "sanitizers: asan" scripts/run-sanitizers.sh asan
step "sanitizers: tsan" scripts/run-sanitizers.sh tsan
step "fuzz (5 s per target)" scripts/run-fuzz.sh 5

# The window's pictures and icon come from the Linux build just made (rendered by its Qt tool).
pictures=$PWD/build/ci/app/qt/pictures
icon=$PWD/build/ci/app/qt/icons/256/corvane-update-tool.png
for preset in windows-x86 windows-x64; do
  step "$preset: configure" cmake --preset "$preset" -DCORVANE_HOST_PICTURE_DIR="$pictures" \
    -DCORVANE_HOST_ICON_PNG="$icon"
  step "$preset: build" cmake --build --preset "$preset" -j 2
done
step "windows resources" scripts/check-windows-resources.sh build/windows-x86 build/windows-x64
step "wine session" scripts/wine-session.sh build/windows-x86 build/windows-x64

# The Windows group of the end-to-end run (docs/e2e.md): the 32-bit programs (every row) and the x64
# ones (a check and an update) under Wine in the qemu guest, against the kernel drivers and virtual
# adaptors of the e2e_qemu test above, which ran before these programs existed. It reuses that
# test's guest folder and programs. On a host whose kernel refuses 32-bit programs this is where the
# 32-bit build runs under Wine at all.
step "e2e: Windows group in the guest" tests/e2e/run.sh --only windows --work build/ci/e2e-guest \
  --gadget build/ci/tools/corvane-usb-gadget --cli build/ci/tools/corvane-update-e2e \
  --probe build/ci/tools/corvane-e2e-exclusive --images build/ci/tools/corvane-e2e-images \
  --windows build/windows-x86 --windows build/windows-x64
