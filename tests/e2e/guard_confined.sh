#!/bin/bash
# The end-to-end programs let a test build's placeholder images through to the virtual adaptors on
# dummy_hcd; that guard (and the "simulated" port it brings) must live in them alone. Checks that
# the end-to-end program carries the guard's controller name and that no shipped program does.
#   guard_confined.sh E2E_PROGRAM SHIPPED_PROGRAM...
set -uo pipefail
e2e=${1:?usage: guard_confined.sh E2E_PROGRAM SHIPPED_PROGRAM...}
shift
marker=dummy_hcd
failed=0
if ! grep -q "$marker" "$e2e"; then
  echo "FAIL: $e2e does not hold the guard ($marker)"
  failed=1
fi
for program in "$e2e" "$@"; do
  [ -f "$program" ] || { echo "FAIL: $program does not exist"; exit 1; }
done
for program in "$@"; do
  if grep -q "$marker" "$program"; then
    echo "FAIL: the shipped $program holds the end-to-end guard ($marker)"
    failed=1
  else
    echo "ok:   $program holds no end-to-end guard"
  fi
done
[ $# -gt 0 ] || { echo "FAIL: no shipped program named"; failed=1; }
exit $failed
