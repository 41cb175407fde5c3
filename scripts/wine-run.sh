#!/usr/bin/env bash
# Runs one Windows program of a cross build under Wine: the CMAKE_CROSSCOMPILING_EMULATOR of the
# Windows presets, so ctest calls it as  wine-run.sh PROGRAM.exe [ARGS...].
#
# It only runs inside the session of scripts/wine-session.sh (Xvfb display, own prefix, settings
# made before the first window), and it turns every way a Wine run can go wrong quietly into a
# failure: a missing program, a time-out, no output at all, and - with CORVANE_WINE_EXPECT=gtest -
# a GoogleTest program that did not end with "[  PASSED  ] N tests" for some N > 0.
set -uo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
if [ -z "${CORVANE_WINE_SESSION:-}" ] || [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-run: not inside a Wine session; run it through scripts/wine-session.sh" >&2
  exit 2
fi
program=$1
shift
if [ ! -f "$program" ]; then
  echo "wine-run: $program does not exist" >&2
  exit 127
fi

output=$(mktemp)
trap 'rm -f "$output"' EXIT

limit=${CORVANE_WINE_TIMEOUT:-600}
timeout --kill-after=10 "$limit" wine "$program" "$@" </dev/null 2>&1 | tee "$output"
rc=${PIPESTATUS[0]}

if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
  echo "wine-run: $program did not finish within ${limit} s" >&2
  exit 124
fi
if [ "$rc" -ne 0 ]; then
  echo "wine-run: $program ended with exit code $rc" >&2
  exit "$rc"
fi
if [ ! -s "$output" ]; then
  echo "wine-run: $program printed nothing; Wine may not have started it" >&2
  exit 1
fi
case "${CORVANE_WINE_EXPECT:-}" in
  "") ;;
  gtest)
    if ! grep -Eq '^\[  PASSED  \] [1-9][0-9]* tests?\.' "$output" || grep -q '^\[  FAILED  \]' "$output"; then
      echo "wine-run: $program did not report a passing run of at least one test" >&2
      exit 1
    fi
    ;;
  *)
    echo "wine-run: unknown CORVANE_WINE_EXPECT=${CORVANE_WINE_EXPECT}" >&2
    exit 2
    ;;
esac
exit 0
