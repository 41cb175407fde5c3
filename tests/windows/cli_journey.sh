#!/usr/bin/env bash
# corvane-update.exe as an administrator's script sees it under Wine: the verbs on the simulated
# adaptors (through the Windows backend and the emulated storage stack), their exit codes and lines,
# and the real backend on Wine's own, empty, disk list. Runs inside scripts/wine-session.sh.
#   cli_journey.sh PATH/TO/corvane-update.exe
set -uo pipefail
exe=${1:?usage: cli_journey.sh corvane-update.exe}
[ -f "$exe" ] || { echo "cli_journey: $exe is missing" >&2; exit 2; }
[ -n "${CORVANE_WINE_SESSION:-}" ] || { echo "cli_journey: run it inside scripts/wine-session.sh" >&2; exit 2; }

failures=0
out=$(mktemp)
trap 'rm -f "$out" "$out.state" "$out.cvbackup"' EXIT

# expect EXIT "TEXT" STDIN ARGS...: the run ends with EXIT and its output (stdout and stderr) holds TEXT.
expect() {
  local code=$1 text=$2 input=$3
  shift 3
  printf '%b' "$input" | timeout --kill-after=10 120 wine "$exe" "$@" >"$out" 2>&1
  local rc=$?
  tr -d '\r' <"$out" >"$out.clean" && mv "$out.clean" "$out"
  if [ "$rc" -ne "$code" ] || ! grep -qF -- "$text" "$out"; then
    echo "FAIL: corvane-update $* -> exit $rc (expected $code), looked for: $text"
    sed 's/^/    | /' "$out"
    failures=$((failures + 1))
  else
    echo "ok:   corvane-update $* -> exit $rc"
  fi
}

usb='\\?\usbstor#disk&ven_corvane&prod_kts260_nvme&rev_0108#3c9f00000000&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}'
expect 0 "<<USB>> Corvane KTS260 NVMe  ChipCode=0x16 chip=KTS260 firmware=0.1.0.8 romMode=no offered=234.01.00.01 path=$usb" "" list --simulate kts260
expect 0 "path=\\\\?\\sbp2#" "" list --simulate 1394
expect 5 "status: Click here to download and update the Corvane NVMe Bridge 234.01.00.01" "" check --simulate kts260
expect 3 "Several adaptors are attached" "" check --simulate two
expect 4 "status: Cannot find any supported Corvane devices." "" check --simulate volant
expect 0 "rescan status: Your product is up to date" "" update --yes --simulate kts260
expect 0 "firmware after: 0.2.1.4" "" update --yes --simulate kts210
expect 6 "reason: a firmware block was refused" "" update --yes --simulate kts260-unplug
expect 0 "holds: KTS260 firmware 0.1.0.8" "" backup --simulate kts260
expect 7 "add --yes" "" update --simulate kts260
expect 9 "Run as administrator" "" check --simulate-file "$(dirname "$0")/denied.json"
expect 0 "scan 2 t=" 'unplug 0\nreplug 0\n' watch --simulate kts260
expect 1 "the built-in scenarios are" "" list --simulate nosuch
# A recording made by the Linux build answers the Windows build's check; the state file keeps a
# half-written bridge in its boot ROM for the next run.
expect 5 "result: update-offered" "" check --replay "$(dirname "$0")/../cli/recordings/check-kts210.json"
expect 6 "status: Update Fail" "" update --yes --simulate kts260-unplug --simulate-state "$out.state"
expect 5 "firmware: 0.1.0.8 (boot ROM)" "" check --simulate kts260-unplug --simulate-state "$out.state"
# Adaptors whose INQUIRY texts hold a line break ("\nstatus: Update complete") and terminal escapes:
# every verb shows them escaped, so no line is forged and no control byte reaches the console.
forged="$(dirname "$0")/../cli/forged_inquiry.json"
dev0='\\?\usbstor#disk&ven__status:&prod__update_complete&rev__[2j#3c9f00000000&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}'
dev1='\\?\usbstor#disk&ven_corvane_&prod_]0;x___2j___dcba&rev_0213#3c9f00000001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}'
# honest ARGS...: after expect, the output holds no control byte but line breaks, no 8-bit CSI or
# right-to-left override, and no line that starts "status: Update complete".
honest() {
  if LC_ALL=C tr -d '\n' <"$out" | LC_ALL=C grep -q '[[:cntrl:]]' ||
     LC_ALL=C grep -q $'\xc2\x9b\\|\xe2\x80\xae' "$out" || grep -q '^status: Update complete' "$out"; then
    echo "FAIL: corvane-update $*: the adaptor's bytes reached the output unescaped"
    sed -n l "$out" | sed 's/^/    | /'
    failures=$((failures + 1))
  fi
}
expect 0 '<<USB>> \nstatus: Update complete  ChipCode=0x16' "" list --simulate-file "$forged"; honest list
expect 3 'adaptor: <<USB>> Corvane\x1B]0;x\x07\u009B2J\u202Edcba' "" check --simulate-file "$forged"; honest check
expect 0 'device: <<USB>> Corvane\x1B]0;x' "" info --device "$dev1" --simulate-file "$forged"; honest info
expect 7 'device: <<USB>> \nstatus: Update complete' "" update --device "$dev0" --simulate-file "$forged"; honest update
expect 0 'device: Corvane\x1B]0;x' "" backup --device "$dev1" --output "$out.cvbackup" --simulate-file "$forged"
honest backup
expect 7 'add --yes' "" restore "$out.cvbackup" --device "$dev1" --simulate-file "$forged"; honest restore
expect 0 '| <<USB>> \nstatus: Update complete' "" watch --simulate-file "$forged"; honest watch
# A file name with an ESC byte, in the message on stderr.
expect 1 "no\x1B[0m.json" "" list --simulate-file "$(printf 'no\033[0m.json')"; honest list --simulate-file
# A user whose name lies outside the ANSI code page (Wine's is 1252): the backups folder from
# %LOCALAPPDATA% (set by cmd for the child, as a profile of that name would), a named --output,
# both named in the JSON in UTF-8, and the restore of that file. The advice names Windows' folder.
user_base=$(mktemp -d)
trap 'rm -f "$out" "$out.state" "$out.cvbackup"; rm -rf "$user_base"' EXIT
user="$user_base/Пользователь Ωμέγα"
mkdir -p "$user"
win_user="Z:$(printf '%s' "$user" | tr / '\\')"
json_user=${win_user//\\/\\\\}
exe_folder=$(winepath -w "$(dirname "$exe")" 2>/dev/null)
# expect_cmd EXIT "TEXT" LOCALAPPDATA ARGS...: as expect, with LOCALAPPDATA set for the program.
expect_cmd() {
  local code=$1 text=$2 local_app_data=$3
  shift 3
  # No quotes inside: Wine hands cmd an embedded quote as \", which cmd does not take back.
  timeout --kill-after=10 120 wine cmd /c \
    "cd /d $exe_folder&& set LOCALAPPDATA=$local_app_data&& $(basename "$exe") $*" </dev/null >"$out" 2>&1
  local rc=$?
  tr -d '\r' <"$out" >"$out.clean" && mv "$out.clean" "$out"
  if [ "$rc" -ne "$code" ] || ! grep -qF -- "$text" "$out"; then
    echo "FAIL: LOCALAPPDATA=$local_app_data corvane-update $* -> exit $rc (expected $code), looked for: $text"
    sed 's/^/    | /' "$out"
    failures=$((failures + 1))
  else
    echo "ok:   LOCALAPPDATA=$local_app_data corvane-update $* -> exit $rc"
  fi
}
expect_cmd 0 "\"file\": \"$json_user\\\\corvane-update\\\\backups\\\\simulated\\\\KTS260-0.1.0.8-" "$win_user" \
  backup --json --simulate kts260
ls "$user/corvane-update/backups/simulated/"KTS260-*.cvbackup >/dev/null 2>&1 ||
  { echo "FAIL: no backup in $user/corvane-update/backups/simulated"; failures=$((failures + 1)); }
expect 0 "\"file\": \"$json_user\\\\b ü.cvbackup\"" "" backup --json --simulate kts260 --output "$win_user\\b ü.cvbackup"
expect 0 "status: Restore complete" "" restore "$win_user\\b ü.cvbackup" --yes --simulate kts260
touch "$user/not-a-folder"
expect_cmd 7 "%LOCALAPPDATA%\\corvane-update\\backups can be created" "$win_user\\not-a-folder" \
  update --yes --simulate kts260
grep -q XDG_DATA_HOME "$out" && { echo "FAIL: Windows advice names XDG_DATA_HOME"; failures=$((failures + 1)); }
# The real backend: SetupDi on Wine lists no disk.
expect 2 "Cannot find any supported Corvane devices." "" list
expect 2 "status: Cannot find any supported Corvane devices." "" check

if [ "$failures" -ne 0 ]; then
  echo "cli_journey: $failures case(s) failed"
  exit 1
fi
echo "cli_journey: all cases passed"
