#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang++, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs every target from its checked-in seed corpus. Fails on any crash, sanitizer report,
# time-out or breached invariant; the input that did it is kept under build/fuzz/findings/.
#
#   scripts/run-fuzz.sh [SECONDS-PER-TARGET] [TARGET...]     default: 5 seconds, every target
#
# Longer runs (docs/fuzzing.md):
#   FUZZ_RUNS=N         stop each target after N executions instead of after SECONDS
#   FUZZ_CORPUS_DIR=D   keep each target's growing corpus in D/TARGET (default: a temporary folder,
#                       so nothing is ever written into the repository's seed corpus)
#   FUZZ_JOBS=N         run N jobs of each target in parallel (default 1)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-5}
shift $(( $# > 0 ? 1 : 0 ))

build_start=$SECONDS
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2
echo "fuzz targets built ($((SECONDS - build_start)) s)"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in tests/fuzz/*_fuzzer.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
findings=build/fuzz/findings
failed=()
for target in "${targets[@]}"; do
  binary=$PWD/build/fuzz/tests/fuzz/$target
  seeds=()
  if [ -d "tests/fuzz/corpus/$target" ]; then seeds=("$PWD/tests/fuzz/corpus/$target"); fi
  corpus=${FUZZ_CORPUS_DIR:+$(realpath -m "$FUZZ_CORPUS_DIR")/$target}
  corpus=${corpus:-$work/$target/corpus}
  mkdir -p "$corpus" "$work/$target/artifacts"
  limit=(-max_total_time="$seconds")
  if [ -n "${FUZZ_RUNS:-}" ]; then limit=(-runs="$FUZZ_RUNS"); fi
  jobs=()
  if [ "${FUZZ_JOBS:-1}" -gt 1 ]; then jobs=(-jobs="$FUZZ_JOBS" -workers="$FUZZ_JOBS"); fi
  log=$work/$target/log
  # The first folder receives the new inputs; the seeds are only read. Run in the work folder,
  # where libFuzzer puts the logs of its jobs.
  if (cd "$work/$target" && "$binary" "${limit[@]}" "${jobs[@]}" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/$target/artifacts/" "$corpus" "${seeds[@]}") \
       >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
    echo "fuzz $target: ok (${runs:-?} executions, ${cov:-cov: ?})"
  else
    mkdir -p "$findings/$target"
    cp "$work/$target/artifacts/"* "$findings/$target/" 2>/dev/null || true
    cp "$log" "$findings/$target/log"
    echo "fuzz $target: FAILED; input and log in $findings/$target" >&2
    grep -E 'invariant breached|ERROR: |SUMMARY: |runtime error' "$log" | head -5 >&2 || tail -20 "$log" >&2
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: ${#failed[@]} target(s) failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets ok ($((SECONDS - build_start)) s in all)"
