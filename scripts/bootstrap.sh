#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test, on a fresh Debian 12.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  # Every build compiles through ccache (cmake/ccache.cmake): the test command builds the same
  # sources five times, and a second run or another clone reuses what the first compiled.
  ccache
  libgtest-dev libgmock-dev googletest libbenchmark-dev nlohmann-json3-dev
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
  xvfb xauth fonts-dejavu-core fonts-liberation
  libudev-dev sg3-utils
  # The locks against shutdown, sleep and logout during a write talk D-Bus through sd-bus; their
  # tests run a private dbus-daemon.
  libsystemd-dev dbus-daemon
  # The fuzz targets (scripts/run-fuzz.sh): clang with libFuzzer and the sanitizer runtimes.
  clang libclang-rt-14-dev
  qemu-system-x86 cpio kmod file
  # The Windows programs: both mingw-w64 compilers, and Wine (32- and 64-bit) with X tools to run
  # and watch them under Xvfb.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine32:i386 wine64
  xdotool imagemagick x11-apps x11-utils
  # The Debian package's check: lintian, the desktop-entry and AppStream validators, a throw-away
  # Debian root, and man to render the manual pages.
  lintian desktop-file-utils appstream debootstrap man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "bootstrap: installing ${missing[*]}"
  # wine32 is an i386 package; apt only offers it once i386 is a foreign architecture.
  if [ "$(dpkg --print-architecture)" != "i386" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "bootstrap: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
  fi
  # A Debian mirror caught in the middle of a sync serves an index whose size does not match its
  # Release file ("File has unexpected size ... Mirror sync in progress?"); apt-get then fails.
  # A sync lasts minutes, so each step is tried again after a pause before giving up.
  attempts=${CORVANE_APT_ATTEMPTS:-5}
  pause=${CORVANE_APT_PAUSE:-60}
  log=$(mktemp)
  trap 'rm -f "$log"' EXIT
  apt_step() {  # apt_step WHAT COMMAND...
    local what=$1 n
    shift
    for ((n = 1; n <= attempts; n++)); do
      if "$@" 2>&1 | tee "$log"; [ "${PIPESTATUS[0]}" -eq 0 ] && ! grep -q '^E: ' "$log"; then
        return 0
      fi
      if [ "$n" -lt "$attempts" ]; then
        echo "bootstrap: $what failed (attempt $n of $attempts); trying again in $pause s"
        sleep "$pause"
      fi
    done
    # Name what could not be fetched: the URLs of the failed lines, else apt's own errors.
    local failed
    failed=$(grep '^E: Failed to fetch ' "$log" | awk '{print $5}' | sort -u)
    [ -n "$failed" ] || failed=$(grep '^E: ' "$log" | sort -u)
    echo "bootstrap: $what failed $attempts times; could not fetch:" >&2
    sed 's/^/  /' <<<"$failed" >&2
    echo "bootstrap: the Debian mirror may be in the middle of a sync; try again later." >&2
    exit 1
  }
  apt_step "apt-get update" $SUDO apt-get update
  apt_step "installing the packages" $SUDO env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
else
  echo "bootstrap: all packages present"
fi
