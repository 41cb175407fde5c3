#!/usr/bin/env bash
# Start-up and idle CPU of the Win32 window under Wine beside the Qt window, measured the same way
# in the same X session (see docs/windows-window.md). Not a test: it prints figures.
#
#   measure_window.sh WIN32_PROGRAM.exe QT_PROGRAM [RUNS] [IDLE_SECONDS]
#
# Runs inside a session with DISPLAY and WINEPREFIX set (a running wineserver, as
# scripts/wine-session.sh or gui_journey.sh leave it).
set -uo pipefail
win32=$(readlink -f "$1")
qt=$(readlink -f "$2")
runs=${3:-5}
idle=${4:-20}
[ -n "${DISPLAY:-}" ] && [ -n "${WINEPREFIX:-}" ] || { echo "measure: no DISPLAY/WINEPREFIX" >&2; exit 2; }
export WINEDEBUG=-all CORVANE_DEMO_PACE_MS=0
hz=$(getconf CLK_TCK)

ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

startup() {  # LABEL COMMAND...
  local label=$1
  shift
  for run in $(seq "$runs"); do
    local begin end line
    begin=$(date +%s%N)
    line=$(CORVANE_EXIT_AFTER_SHOW=1 timeout 120 "$@" --simulate kts210 2>&1 | tr -d '\r' | grep 'window shown')
    end=$(date +%s%N)
    echo "$label run $run: ${line#corvane-update-tool: } / whole process $(( (end - begin) / 1000000 )) ms"
  done
}

# The program's own process: under Wine the Windows process runs as the unix process whose command
# line begins with the .exe's path.
find_pid() {
  local pattern=$1
  for _ in $(seq 100); do
    local pid
    pid=$(pgrep -f "^$pattern" | head -n1)
    [ -n "$pid" ] && { echo "$pid"; return; }
    sleep 0.1
  done
}

idle_cpu() {  # LABEL PATTERN COMMAND...
  local label=$1 pattern=$2
  shift 2
  timeout $((idle + 30)) "$@" --simulate kts210-current >/dev/null 2>&1 &
  local runner=$!
  local pid
  pid=$(find_pid "$pattern")
  [ -n "$pid" ] || { echo "$label: process not found"; kill "$runner"; return; }
  sleep 5  # past start-up; the animation thread keeps posting frames
  # This prefix's wineserver (other sessions may run their own).
  local server="" candidate
  for candidate in $(pgrep -x 'wineserver(32|64)?'); do
    if tr '\0' '\n' <"/proc/$candidate/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      server=$candidate
    fi
  done
  local a s0
  a=$(ticks "$pid")
  s0=$( [ -n "$server" ] && ticks "$server" || echo 0)
  sleep "$idle"
  local b s1
  b=$(ticks "$pid")
  s1=$( [ -n "$server" ] && ticks "$server" || echo 0)
  local used=$((b - a)) served=$((s1 - s0))
  awk -v l="$label" -v u="$used" -v s="$served" -v t="$idle" -v hz="$hz" 'BEGIN {
    printf "%s idle %d s: %d ticks of the process (%.2f %% of one core); wineserver %d ticks (%.2f %%)\n",
           l, t, u, 100 * u / hz / t, s, 100 * s / hz / t }'
  kill "$runner" 2>/dev/null
  wait "$runner" 2>/dev/null
}

startup win32 wine "$win32"
startup qt "$qt"
idle_cpu win32 "$win32" wine "$win32"
idle_cpu qt "$qt" "$qt"
# The programs measured were ended by a signal on purpose; the figures above are the result.
exit 0
