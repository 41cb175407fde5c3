#!/usr/bin/env bash
# Resident memory of a long `watch --simulate`: feeds EVENTS unplug/re-plug events (EVENTS / 2
# "unplug 0" + "replug 0" pairs) in bursts of BURST pairs, waits for the rescan that each burst
# ends in (500 ms after its last event), and prints the resident memory after the start-up scan
# and at the end, with the number of scans.
#
# Usage: scripts/measure-watch-rss.sh [BINARY] [EVENTS] [BURST]
#   defaults: build/ci/app/cli/corvane-update, 10000 events, 50 pairs a burst (100 rescans, ~70 s).
#   The long form, one rescan per re-plug: BURST=1 (10000 events: 5000 rescans, ~50 minutes).
set -euo pipefail
cd "$(dirname "$0")/.."

binary=${1:-build/ci/app/cli/corvane-update}
events=${2:-10000}
burst=${3:-50}
pairs=$((events / 2))

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/in"
"$binary" watch --simulate kts260 <"$work/in" >"$work/out" 2>"$work/err" &
pid=$!
exec 3>"$work/in"

rss_kib() { awk -v key="$1:" '$1 == key {print $2}' "/proc/$pid/status"; }
wait_for_scans() {
  local want=$1 tries=0
  while [ "$(grep -c '^scan ' "$work/out" || true)" -lt "$want" ]; do
    sleep 0.1
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then echo "measure-watch-rss: no scan $want after 10 s" >&2; exit 1; fi
  done
}

wait_for_scans 1
start_rss=$(rss_kib VmRSS)
sent=0
scans=1
while [ "$sent" -lt "$pairs" ]; do
  for ((j = 0; j < burst && sent < pairs; j++, sent++)); do printf 'unplug 0\nreplug 0\n' >&3; done
  scans=$((scans + 1))
  wait_for_scans "$scans"
done
end_rss=$(rss_kib VmRSS)
peak_rss=$(rss_kib VmHWM)
echo quit >&3
exec 3>&-
wait "$pid"

echo "watch --simulate kts260: $((sent * 2)) unplug/re-plug events, $(grep -c '^scan ' "$work/out") scans"
echo "resident memory: after the start-up scan ${start_rss} KiB, at the end ${end_rss} KiB, peak ${peak_rss} KiB"
