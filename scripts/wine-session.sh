#!/usr/bin/env bash
# Runs the Windows builds' tests under Wine, all inside one session:
#   one Xvfb display, one fresh Wine prefix (wow64: 32- and 64-bit programs), a persistent
#   wineserver, the prefix's settings made before any window, a probe program per build whose exact
#   answer must come back, then ctest in every build folder.
#
#   scripts/wine-session.sh [BUILD_DIR...] [-- COMMAND [ARGS...]]
#
# BUILD_DIR defaults to build/windows-x86 and build/windows-x64. A COMMAND after "--" runs in the
# same session after the suites (DISPLAY, WINEPREFIX and the rest are exported), for checks that
# need the display. Exits non-zero if anything failed. Every step is bounded in time.
#
# Settings (environment): CORVANE_WINE_KEEP_PREFIX=1 leaves the prefix behind for a look;
# CORVANE_WINE_JOBS (default 2) is ctest's parallelism.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

builds=()
extra=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then
    shift
    extra=("$@")
    break
  fi
  builds+=("$1")
  shift
done
if [ ${#builds[@]} -eq 0 ]; then
  builds=(build/windows-x86 build/windows-x64)
fi

for tool in Xvfb xdpyinfo wine wineboot wineserver timeout ctest; do
  command -v "$tool" >/dev/null || { echo "wine-session: $tool is missing (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done
for dir in "${builds[@]}"; do
  [ -f "$dir/CTestTestfile.cmake" ] || { echo "wine-session: $dir is not a configured build folder" >&2; exit 2; }
done

log() { echo "wine-session: $*"; }
started=$SECONDS

xvfb_pid=""
export WINEPREFIX
WINEPREFIX=$(mktemp -d -t corvane-wine.XXXXXX)
cleanup() {
  local rc=$?
  # The wineserver must go before its display does.
  timeout 30 wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  if [ -n "${loaders:-}" ]; then rm -rf "$loaders"; fi
  if [ "${CORVANE_WINE_KEEP_PREFIX:-0}" = "1" ]; then
    log "prefix kept in $WINEPREFIX"
  else
    rm -rf "$WINEPREFIX"
  fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A display first: a wineserver that starts without one makes windows fail later in the session.
unset DISPLAY
# Numbers from 90 up keep clear of the displays people and other tools start by hand; a number
# another session takes at the same moment makes this Xvfb exit, and the next one is tried.
for n in $(seq 90 189); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    kill -0 "$xvfb_pid" 2>/dev/null || break
    if timeout 5 xdpyinfo -display ":$n" >/dev/null 2>&1; then
      export DISPLAY=":$n"
      break 2
    fi
    sleep 0.1
  done
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
done
[ -n "${DISPLAY:-}" ] && [ -n "$xvfb_pid" ] || { echo "wine-session: could not start Xvfb on a free display" >&2; exit 1; }
log "Xvfb on $DISPLAY, prefix $WINEPREFIX"

export WINEARCH=win64
export WINEDEBUG=-all

# Wine's 32-bit loader is an i386 Linux program, and /usr/bin/wine starts it whenever wine32 is
# installed. A kernel built without 32-bit support refuses it ("Exec format error"): then every
# program of the session, and the scripts the tests call, get Wine's 64-bit side through a `wine`,
# a `wineboot`, a `winepath` and the other Wine tools put first on PATH, and the 32-bit builds
# cannot run on this host (they are reported as not run, below; the e2e guest's kernel runs them).
runs_32bit=1
if [ ! -x /usr/lib/wine/wine ] || ! timeout 30 /usr/lib/wine/wine --version >/dev/null 2>&1; then
  runs_32bit=0
  [ -x /usr/lib/wine/wine64 ] || { echo "wine-session: Wine's 64-bit side is missing (scripts/bootstrap.sh installs wine64)" >&2; exit 2; }
  loaders=$(mktemp -d -t corvane-wine-bin.XXXXXX)
  printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$loaders/wine"
  for tool in wineboot winecfg wineconsole winedbg winefile winepath; do
    printf '#!/bin/sh\nexec wine %s.exe "$@"\n' "$tool" >"$loaders/$tool"
  done
  chmod +x "$loaders"/*
  export PATH="$loaders:$PATH"
  log "this host's kernel refuses 32-bit programs: Wine's 64-bit side runs the session"
fi
# No Mono or Gecko: their install prompts would block a non-interactive boot, and nothing needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export CORVANE_WINE_SESSION=1

if ! timeout 300 wineboot -i >/dev/null 2>&1; then
  echo "wine-session: wineboot -i failed or took longer than 300 s" >&2
  exit 1
fi
# Let the boot's processes finish and the registry reach the disk, then keep one server for the
# whole session instead of one per program.
timeout 120 wineserver -w || true
timeout 30 wineserver -p
# Windows then get plain X11 frames that screenshots and xdotool can rely on, not the window
# manager's; this must be in place before the first window appears.
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
if ! timeout 60 wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed 2>/dev/null | tr -d '\r' | grep -Eq 'Managed +REG_SZ +N$'; then
  echo "wine-session: could not set X11 Driver\\Managed=N in the prefix" >&2
  exit 1
fi
log "prefix ready after $((SECONDS - started)) s"

# The pointer width each build was configured for.
bits_of() {
  local b
  b=$(sed -n 's/^set(CMAKE_CXX_SIZEOF_DATA_PTR "\([48]\)")$/\1/p' "$1"/CMakeFiles/*/CMakeCXXCompiler.cmake | head -n1)
  [ -n "$b" ] || { echo "wine-session: cannot tell the pointer width of $1" >&2; exit 2; }
  echo $((b * 8))
}
# A 32-bit build on a host that cannot run Wine's 32-bit side is not run, and says so on every
# summary line; CORVANE_WINE_REQUIRE_32BIT=1 makes that a failure.
failed=0
summary=()
runnable=()
for dir in "${builds[@]}"; do
  if [ "$(bits_of "$dir")" = 32 ] && [ "$runs_32bit" = 0 ]; then
    summary+=("$dir: NOT RUN: this host's kernel refuses 32-bit programs, so Wine cannot start them here (the e2e guest's Windows group runs them)")
    if [ "${CORVANE_WINE_REQUIRE_32BIT:-0}" = "1" ]; then failed=1; fi
  else
    runnable+=("$dir")
  fi
done
[ ${#runnable[@]} -gt 0 ] || { echo "wine-session: no build this host can run under Wine" >&2; exit 1; }
builds=("${runnable[@]}")

# A build whose programs Wine cannot start must not get as far as a test that could pass anyway.
for dir in "${builds[@]}"; do
  probe="$dir/tools/corvane-wine-probe.exe"
  word="probe$RANDOM$RANDOM"
  # The pointer width the build was configured for, which the probe must confirm.
  bits=$(bits_of "$dir")
  expected="corvane-wine-probe $word $bits-bit"
  got=$(CORVANE_WINE_TIMEOUT=60 "$repo/scripts/wine-run.sh" "$probe" "$word" | tr -d '\r') || {
    echo "wine-session: the probe of $dir did not run" >&2
    exit 1
  }
  if [ "$got" != "$expected" ]; then
    echo "wine-session: the probe of $dir answered '$got', expected '$expected'" >&2
    exit 1
  fi
  log "$dir: probe answered as a $bits-bit program"
done

for dir in "${builds[@]}"; do
  # Compare what ran with what the build folder holds: zero tests, or fewer than listed, fail.
  listed=$(ctest --test-dir "$dir" -N | sed -n 's/^Total Tests: \([0-9]*\)$/\1/p')
  out="$dir/wine-ctest.log"
  step_start=$SECONDS
  set +e
  timeout 3600 ctest --test-dir "$dir" --output-on-failure --no-tests=error \
    -j "${CORVANE_WINE_JOBS:-2}" --timeout 900 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  set -e
  ran=$(sed -n 's/.*tests passed, [0-9]* tests\{0,1\} failed out of \([0-9]*\).*/\1/p' "$out" | tail -n1)
  bad=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of.*/\1/p' "$out" | tail -n1)
  if [ "$rc" -ne 0 ] || [ -z "$listed" ] || [ "$listed" -eq 0 ] || [ "${ran:-}" != "$listed" ] || [ "${bad:-x}" != "0" ]; then
    failed=1
    summary+=("$dir: FAILED (ctest exit $rc, listed ${listed:-?}, ran ${ran:-?}, failed ${bad:-?})")
  else
    summary+=("$dir: $ran of $listed tests passed in $((SECONDS - step_start)) s")
  fi
done

if [ ${#extra[@]} -gt 0 ]; then
  log "running: ${extra[*]}"
  set +e
  "${extra[@]}"
  rc=$?
  set -e
  if [ "$rc" -ne 0 ]; then
    failed=1
    summary+=("${extra[0]}: FAILED (exit $rc)")
  fi
fi

for line in "${summary[@]}"; do log "$line"; done
log "session took $((SECONDS - started)) s"
exit "$failed"
