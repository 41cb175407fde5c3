#!/bin/bash
# End-to-end run: builds a guest from Debian's archive, boots it under qemu (TCG) with virtual adaptors
# on a virtual USB bus, runs corvane-update and the peers there against the real Linux drivers, and
# prints a pass/fail table. Exit status 0 only when every scenario passed.
#
# usage: tests/e2e/run.sh [--build-dir DIR] [--work DIR] [--only SCENARIO] [--timeout SECONDS]
#                         [--gadget BIN --cli BIN --probe BIN [--images BIN]]   (prebuilt programs, as CTest passes them)
#                         [--windows WINDOWS_BUILD_DIR]...   (the Windows group: the first folder's
#                         programs run all its rows, a second folder's a short check and update)
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build_dir="$source_dir/build/e2e"
work=""
only=""
limit=""
gadget="" cli="" probe="" images=""
windows=()
while (($#)); do
  case "$1" in
    --build-dir) build_dir=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --gadget) gadget=$2; shift 2 ;;
    --cli) cli=$2; shift 2 ;;
    --probe) probe=$2; shift 2 ;;
    --images) images=$2; shift 2 ;;
    --windows) windows+=("$(realpath "$2")"); shift 2 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
work=${work:-$build_dir/e2e-guest}
mkdir -p "$work"
work=$(cd "$work" && pwd)
for v in gadget cli probe images; do
  [ -z "${!v}" ] || printf -v "$v" '%s' "$(realpath "${!v}")"
done
started=$(date +%s)

step() { echo "== $* ($(($(date +%s) - started)) s)"; }

if ! command -v qemu-system-x86_64 >/dev/null; then
  step "installing qemu-system-x86"
  { apt-get update && apt-get install -y --no-install-recommends qemu-system-x86; } >"$work/apt.log" 2>&1 ||
    { echo "run.sh: cannot install qemu-system-x86 (see $work/apt.log)" >&2; exit 2; }
fi

if [ -z "$gadget" ] || [ -z "$cli" ] || [ -z "$probe" ]; then
  step "building the gadget, the guest's CLI and the exclusive-open probe in $build_dir"
  if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_QT=OFF \
      >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; exit 2; }
  fi
  ninja -C "$build_dir" -j2 corvane-usb-gadget corvane-update-e2e corvane-e2e-exclusive corvane-e2e-images \
    >"$work/build.log" 2>&1 || { tail -40 "$work/build.log"; exit 2; }
  gadget=$build_dir/tools/corvane-usb-gadget
  cli=$build_dir/tools/corvane-update-e2e
  probe=$build_dir/tools/corvane-e2e-exclusive
  images=$build_dir/tools/corvane-e2e-images
fi
# Built beside the CLI by the same folder.
images=${images:-$(dirname "$cli")/corvane-e2e-images}
[ -x "$images" ] || { echo "run.sh: $images is missing (build the target corvane-e2e-images)" >&2; exit 2; }

wine_arg=""
if [ "$only" = windows ] && [ ${#windows[@]} -eq 0 ]; then
  echo "run.sh: --only windows needs a Windows build (--windows build/windows-x86)" >&2
  exit 2
fi
if [ ${#windows[@]} -gt 0 ] && { [ -z "$only" ] || [ "$only" = windows ]; }; then
  step "preparing the Windows group's share: a Wine prefix and ${#windows[@]} Windows build(s)"
  "$here/wine_share.sh" "$work" "${windows[@]}" >"$work/wine-share.log" 2>&1 ||
    { tail -20 "$work/wine-share.log"; exit 2; }
  wine_arg=$(tail -1 "$work/wine-share.log")
fi
limit=${limit:-$([ -n "$wine_arg" ] && echo 1800 || echo 600)}

step "building the guest"
# The guest calls the CLI by its usual name.
cp "$cli" "$work/corvane-update"
"$here/build_guest.sh" "$work" "$gadget" "$work/corvane-update" "$probe" "$images" || exit 2

# An ATA disk beside the USB bus: it must never be asked anything.
truncate -s 8M "$work/ata-disk.img"

step "booting the guest (limit ${limit} s)"
console="$work/console.log"
boot_started=$(date +%s)
# The Windows group mounts the host's /usr and /etc read-only and the share with the Wine prefix
# (9p; exporting the whole of / breaks Wine's loading of ntdll.so). Without SMAP: with it, TCG's
# "max" CPU kills every Wine process in the guest on its return from the kernel.
qemu_wine=()
memory=1024
if [ -n "$wine_arg" ]; then
  memory=2048
  qemu_wine=(-virtfs "local,path=/usr,mount_tag=hostusr,security_model=none,readonly=on,multidevs=remap"
    -virtfs "local,path=/etc,mount_tag=hostetc,security_model=none,readonly=on,multidevs=remap"
    -virtfs "local,path=$work/winshare,mount_tag=winshare,security_model=none,multidevs=remap")
fi
timeout --kill-after=10 "$limit" qemu-system-x86_64 -accel tcg,thread=multi -smp 2 -m $memory -cpu max,-smap \
  -display none -monitor none -serial "file:$console" -no-reboot -nic none \
  -kernel "$work/vmlinuz" -initrd "$work/initramfs.cpio.gz" \
  -append "console=ttyS0 quiet panic=-1 e2e.udcs=5 e2e.only=$only e2e.wine=$wine_arg" \
  -drive "file=$work/ata-disk.img,format=raw,if=ide" "${qemu_wine[@]}"
qemu_rc=$?
boot_seconds=$(($(date +%s) - boot_started))
tr -d '\r' <"$console" >"$work/console.txt"

expected="attach list-adaptors list-stick-refused list-internal-never-asked
  kts260-check-offers kts260-update kts260-replug kts260-check-current
  kts210-check-offers kts210-update kts210-replug kts210-check-current
  rom-listed rom-check-offers rom-update rom-replug rom-check-current
  fault-update-fails fault-boot-rom-after-replug
  recovery-check-offers recovery-update recovery-replug recovery-check-current
  timeout-recovers exclusive-open replug-remembered-path-refused watch-one-rescan-each watch-500ms-after-last-event
  peer-sg_inq peer-read-buffer-descriptor peer-sg_raw-chip-info peer-read-back-area peer-sg_write_buffer
  peer-writes-kept-firmware"
windows_rows="win-setup win-list win-check-condition win-check-kts260 win-check-kts210 win-update-kts260
  win-update-kts210 win-backup-restore win-rom-recovery win-window win-same-wire"
[ ${#windows[@]} -lt 2 ] || windows_rows="$windows_rows win64-check win64-update"
if [ -n "$wine_arg" ]; then
  expected="$expected $windows_rows"
elif [ -z "$only" ]; then
  echo "run.sh: no Windows build given (--windows DIR): the Windows group is left out"
fi
if [ "$only" = windows ]; then
  expected="attach $windows_rows"
elif [ -n "$only" ]; then
  expected=$(grep -o "E2E RESULT [^ ]*" "$work/console.txt" | awk '{print $3}')
  [ -n "$expected" ] || expected="attach"
fi

failed=0
printf '\n%-32s %-6s %8s  %s\n' "scenario" "result" "ms" "detail"
for name in $expected; do
  line=$(grep -m1 "^E2E RESULT $name " "$work/console.txt")
  if [ -z "$line" ]; then
    printf '%-32s %-6s %8s  %s\n' "$name" "MISSING" "-" "the guest never reported it (hang or crash?)"
    failed=1
    continue
  fi
  read -r _ _ _ verdict ms detail <<<"$line"
  printf '%-32s %-6s %8s  %s\n' "$name" "$verdict" "$ms" "$detail"
  [ "$verdict" = PASS ] || failed=1
done

echo
grep "^E2E PERF " "$work/console.txt" | awk '{ printf "%-40s %s\n", $3, $4 }'
perf() { awk -v k="$1" '$1 == "E2E" && $2 == "PERF" && $3 == k { print $4 }' "$work/console.txt"; }
ratio() { # label ours peers
  if [ -n "$2" ] && [ -n "$3" ] && [ "$3" -gt 0 ]; then
    awk -v l="$1" -v o="$2" -v p="$3" 'BEGIN { printf "%-40s %.2f\n", l, o / p }'
  fi
}
ratio "ratio ours/peers download+read-back" "$(perf kts260-download-readback-ms)" "$(perf peers-download-readback-ms)"
ratio "ratio ours/peers download" "$(perf kts260-download-ms)" "$(perf peers-download-ms)"
ratio "ratio ours/peers read-back" "$(perf kts260-readback-ms)" "$(perf peers-readback-ms)"
ratio "ratio ours/peers download, best of 3 (goal 1.2)" "$(perf best-ours-download-ms)" "$(perf best-peers-download-ms)"
# Per command, against a bare open + SG_IO + close of the same command in the same run.
ratio "ratio transport/bare command (goal 1.15)" "$(perf command-us-ours)" "$(perf command-us-open-each)"
ratio "ratio transport/bare command, data-out" "$(perf command-us-ours-out)" "$(perf command-us-open-each-out)"
ratio "ratio former checks/bare command" "$(perf command-us-former-checks)" "$(perf command-us-open-each)"
ratio "ratio transport/bare command, trimmed means" "$(perf command-us-tm-ours)" "$(perf command-us-tm-open-each)"
ratio "ratio transport/bare command, data-out, t.m." "$(perf command-us-tm-ours-out)" "$(perf command-us-tm-open-each-out)"
ratio "ratio former checks/bare command, t.m." "$(perf command-us-tm-former-checks)" "$(perf command-us-tm-open-each)"
if grep -q "^E2E LOG" "$work/console.txt"; then
  echo
  grep "^E2E LOG" "$work/console.txt" | head -80
fi

echo
if [ $qemu_rc -ne 0 ] || ! grep -q "^E2E END" "$work/console.txt"; then
  echo "the guest did not finish (qemu exit $qemu_rc after ${boot_seconds} s); console: $work/console.txt"
  tail -20 "$work/console.txt"
  failed=1
fi
echo "guest ran ${boot_seconds} s; whole run $(($(date +%s) - started)) s; console: $work/console.txt"
if [ $failed -ne 0 ]; then
  echo "E2E: FAILED"
  exit 1
fi
echo "E2E: all scenarios passed"
