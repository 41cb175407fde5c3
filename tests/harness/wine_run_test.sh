#!/usr/bin/env bash
# scripts/wine-run.sh against a stand-in for wine: every quiet way a Windows test program can fail
# under Wine must come out as a failure, and only a real pass as a pass. Runs on the host, no Wine.
set -uo pipefail
wrapper="$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The stand-in behaves as the program's name says.
mkdir -p "$work/bin"
cat > "$work/bin/wine" <<'STUB'
#!/usr/bin/env bash
case "$(basename "$1" .exe)" in
  passing)   printf '[==========] 3 tests from 1 test suite ran.\r\n[  PASSED  ] 3 tests.\r\n' ;;
  one)       printf '[  PASSED  ] 1 test.\r\n' ;;
  no_cases)  printf '[==========] 0 tests from 0 test suites ran.\r\n[  PASSED  ] 0 tests.\r\n' ;;
  failing)   printf '[  PASSED  ] 2 tests.\r\n[  FAILED  ] 1 test, listed below:\r\n' ;;
  silent)    ;;
  crashing)  echo "wine: Unhandled page fault"; exit 3 ;;
  hanging)   sleep 30 ;;
  echoing)   echo "args: ${*:2}" ;;
esac
STUB
chmod +x "$work/bin/wine"
for name in passing one no_cases failing silent crashing hanging echoing; do : > "$work/$name.exe"; done

# program | CORVANE_WINE_EXPECT | inside a session | expected exit code
cases=(
  "passing|gtest|yes|0"
  "one|gtest|yes|0"
  "no_cases|gtest|yes|1"
  "failing|gtest|yes|1"
  "silent||yes|1"
  "silent|gtest|yes|1"
  "crashing|gtest|yes|3"
  "hanging||yes|124"
  "missing|gtest|yes|127"
  "echoing||yes|0"
  "echoing|nonsense|yes|2"
  "passing|gtest|no|2"
)

failures=0
for row in "${cases[@]}"; do
  IFS='|' read -r program expect session want <<<"$row"
  env=(PATH="$work/bin:$PATH" CORVANE_WINE_EXPECT="$expect" CORVANE_WINE_TIMEOUT=2)
  if [ "$session" = yes ]; then
    env+=(CORVANE_WINE_SESSION=1 WINEPREFIX="$work/prefix" DISPLAY=:0)
  else
    env+=(CORVANE_WINE_SESSION= WINEPREFIX= DISPLAY=)
  fi
  env "${env[@]}" "$wrapper" "$work/$program.exe" a b >"$work/out" 2>&1
  got=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL: $row gave exit $got; output:"
    sed 's/^/    /' "$work/out"
    failures=$((failures + 1))
  fi
done

# The program's own output reaches ctest, arguments included.
env PATH="$work/bin:$PATH" CORVANE_WINE_SESSION=1 WINEPREFIX="$work/prefix" DISPLAY=:0 \
  "$wrapper" "$work/echoing.exe" one two >"$work/out" 2>&1
if ! grep -qx "args: one two" "$work/out"; then
  echo "FAIL: output or arguments did not come through:"
  sed 's/^/    /' "$work/out"
  failures=$((failures + 1))
fi

echo "$(( ${#cases[@]} + 1 - failures )) of $(( ${#cases[@]} + 1 )) checks passed"
[ "$failures" -eq 0 ]
