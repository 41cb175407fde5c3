#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors, runs every test on Linux, then builds the
# Windows programs (32-bit x86 and x64) and runs their tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

# Runs one step and says how long it took, so the log shows where the time goes.
step() {
  local start=$SECONDS
  "$@"
  echo "step done ($((SECONDS - start)) s): $*"
}

step scripts/bootstrap.sh

step cmake --preset ci
step cmake --build --preset ci -j 2
step ctest --preset ci -j 2 --timeout 900
step scripts/run-fault-matrix.sh build/ci
step scripts/check-package.sh build/ci
# The suites again under AddressSanitizer + UndefinedBehaviorSanitizer and ThreadSanitizer, then a
# short run of every fuzz target (docs/sanitizers.md, docs/fuzzing.md for the long forms).
step scripts/run-sanitizers.sh
step scripts/run-fuzz.sh 5

windows_start=$SECONDS
# The window's pictures and icon come from the Linux build just made (rendered by its Qt tool).
pictures=$PWD/build/ci/app/qt/pictures
for preset in windows-x86 windows-x64; do
  cmake --preset "$preset" -DCORVANE_HOST_PICTURE_DIR="$pictures" \
    -DCORVANE_HOST_ICON_PNG="$PWD/build/ci/app/qt/icons/256/corvane-update-tool.png"
  cmake --build --preset "$preset" -j 2
done
scripts/check-windows-resources.sh build/windows-x86 build/windows-x64
scripts/wine-session.sh build/windows-x86 build/windows-x64
echo "Windows builds and their Wine run: ok ($((SECONDS - windows_start)) s)"

# --- The Windows group of the end-to-end run (docs/e2e.md): the 32-bit and x64 programs under Wine
# in the qemu guest, against the kernel drivers and virtual adaptors of the e2e_qemu test above,
# which ran before these programs existed. It reuses that test's guest folder and programs.
step tests/e2e/run.sh --only windows --work build/ci/e2e-guest \
  --gadget build/ci/tools/corvane-usb-gadget --cli build/ci/tools/corvane-update-e2e \
  --probe build/ci/tools/corvane-e2e-exclusive --images build/ci/tools/corvane-e2e-images \
  --windows build/windows-x86 --windows build/windows-x64
# --- end of the Windows group
