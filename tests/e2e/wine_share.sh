#!/bin/bash
# Prepares what the guest's Windows group finds on its writable share: a Wine prefix made here on
# the host (the guest only runs programs in it) and the Windows programs of each build folder.
#
# usage: wine_share.sh WORKDIR WINDOWS_BUILD_DIR...
# Leaves WORKDIR/winshare/{prefix,x86,x64}; prints the builds' folder names, comma-separated and in
# the order given, as its last line (the guest's e2e.wine). The prefix is made once per Wine
# version and kept in WORKDIR/wine-prefix; every run gets a fresh copy of it.
set -euo pipefail

work=$(realpath "$1")
shift
share=$work/winshare
pristine=$work/wine-prefix

# The prefix is made by Wine's 64-bit side alone: a host may refuse 32-bit programs (the guest's
# kernel runs them), and /usr/bin/wine starts the 32-bit loader whenever wine32 is installed.
wine64=/usr/lib/wine/wine64
[ -x $wine64 ] && command -v wineserver >/dev/null ||
  { echo "wine_share: Wine's 64-bit side is missing (scripts/bootstrap.sh installs wine64)" >&2; exit 2; }

names=()
for dir in "$@"; do
  bits=$(sed -n 's/^set(CMAKE_CXX_SIZEOF_DATA_PTR "\([48]\)")$/\1/p' "$dir"/CMakeFiles/*/CMakeCXXCompiler.cmake | head -n1)
  case "$bits" in
    4) name=x86 ;;
    8) name=x64 ;;
    *) echo "wine_share: cannot tell the pointer width of $dir" >&2; exit 2 ;;
  esac
  # The 32-bit programs need Wine's 32-bit half, which the guest takes from this host's /usr.
  if [ $name = x86 ] && [ ! -x /usr/lib/wine/wine ]; then
    echo "wine_share: $dir is a 32-bit build, but wine32:i386 is not installed (scripts/bootstrap.sh)" >&2
    exit 2
  fi
  for program in tools/corvane-update-e2e.exe app/win32/corvane-update-tool.exe tests/win32/corvane-journey-helper.exe; do
    [ -f "$dir/$program" ] || { echo "wine_share: $dir/$program is missing" >&2; exit 2; }
  done
  names+=("$name")
done

export WINEPREFIX=$pristine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$wine64
unset DISPLAY
stamp="$($wine64 --version) wine32=$([ -x /usr/lib/wine/wine ] && echo yes || echo no)"
if [ "$(cat "$pristine/.corvane-stamp" 2>/dev/null)" != "$stamp" ]; then
  echo "wine_share: making the prefix ($stamp)"
  rm -rf "$pristine"
  timeout 600 $wine64 wineboot --init
  # No display in the guest: windows go to the null driver; a crash ends the program, no dialog.
  timeout 120 $wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f
  timeout 120 $wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  # The registry reaches the disk when the prefix's server ends.
  timeout 120 wineserver -w
  # Wine's 32-bit side puts its libraries into syswow64 when it sets a prefix up; where the host
  # cannot run it, they are copied as it would (Debian's builtin PE files), so that the guest's
  # 32-bit loader finds kernel32.dll and the rest there.
  i386=/usr/lib/i386-linux-gnu/wine/i386-windows
  if [ -d $i386 ] && [ -z "$(ls "$pristine/drive_c/windows/syswow64")" ]; then
    cp $i386/* "$pristine/drive_c/windows/syswow64/"
  fi
  echo "$stamp" >"$pristine/.corvane-stamp"
fi

rm -rf "$share"
mkdir -p "$share"
cp -a "$pristine" "$share/prefix"
i=0
for dir in "$@"; do
  mkdir -p "$share/${names[$i]}"
  cp "$dir/tools/corvane-update-e2e.exe" "$dir/app/win32/corvane-update-tool.exe" \
    "$dir/tests/win32/corvane-journey-helper.exe" "$share/${names[$i]}/"
  i=$((i + 1))
done
(IFS=,; echo "${names[*]}")
