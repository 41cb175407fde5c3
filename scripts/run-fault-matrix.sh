#!/usr/bin/env bash
# Runs the journey fault matrix (scan, check, update, re-plug, rescan, later run; one fault at one
# command index each) on the simulator and prints its table. Bounded by default (every 7th command
# index, a few seconds); CORVANE_FAULT_MATRIX=full takes every index (about half a minute), a number
# takes every n-th. See docs/fault-matrix.md.
# Usage: scripts/run-fault-matrix.sh [BUILD_DIR]   (default build/ci, already built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
program=$build/tests/firmware/corvane_firmware_tests
if [ ! -x "$program" ]; then
  echo "run-fault-matrix: $program is not built" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
CORVANE_FAULT_MATRIX_TABLE=$work/table.txt "$program" --gtest_filter='JourneyFaultMatrix.*' \
  > "$work/output.txt" 2>&1 || status=$?
if [ -s "$work/table.txt" ]; then
  cat "$work/table.txt"
else
  cat "$work/output.txt"
fi
if [ "$status" -ne 0 ]; then
  echo "run-fault-matrix: FAILED (see the breaches above)" >&2
  exit "$status"
fi
echo "run-fault-matrix: ok"
