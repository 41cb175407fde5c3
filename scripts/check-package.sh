#!/usr/bin/env bash
# Checks the Debian package the way a user gets it: builds the .deb from a built folder (cpack), runs
# lintian on it (any error or warning fails), validates its desktop entry and AppStream metadata,
# checks the programs' hardening, then installs it with apt into a throw-away Debian 12 root made by
# debootstrap and runs the installed programs there. The manual pages are rendered from that root.
#
#   scripts/check-package.sh [BUILD_DIR]      default build/ci (the test command's build), as root
#
# Needs Debian's archive (debootstrap and apt inside the root) the first time. The root, with the
# package's dependencies installed, is kept between runs (and clones) under CORVANE_CACHE_DIR
# (default ~/.cache/corvane-update), keyed by the package's dependency list, the suite and the
# mirror; a run whose key has a root younger than CORVANE_ROOT_MAX_DAYS (default 14) unpacks it
# instead of running debootstrap, so only the package itself is installed. docs/packaging.md gives
# the times. CORVANE_DEBIAN_MIRROR names another mirror.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:-build/ci}")
mirror=${CORVANE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
out=$build/package-check
started=$SECONDS
step() { echo "== check-package: $* ($((SECONDS - started)) s)"; }
fail() { echo "check-package: FAILED: $*" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"

step "building the package in $build"
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log") || { cat "$out/cpack.log"; fail "cpack"; }
debs=("$out"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $out"
deb=${debs[0]}
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
dpkg-deb --contents "$deb"

step "lintian"
# Informational tags are shown too (-I); only errors and warnings fail the check.
lintian -I --fail-on error,warning "$deb" | tee "$out/lintian.txt" || fail "lintian found errors or warnings"
echo "lintian: $(grep -c '^E:' "$out/lintian.txt" || true) errors, $(grep -c '^W:' "$out/lintian.txt" || true) warnings, $(grep -c '^I:' "$out/lintian.txt" || true) informational"

tree=$out/tree
dpkg-deb -x "$deb" "$tree"

step "desktop entry, AppStream metadata, changelog"
desktop=$tree/usr/share/applications/corvane-update-tool.desktop
# Hints count as failures: a clean entry gives no output at all.
validation=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $validation"
[ -z "$validation" ] || fail "desktop-file-validate: $validation"
echo "desktop-file-validate: no errors, warnings or hints"
appstreamcli validate --no-net --explain "$tree"/usr/share/metainfo/*.metainfo.xml
appstreamcli validate-tree --no-net "$tree"
package_version=$(dpkg-deb -f "$deb" Version)
zcat "$tree/usr/share/doc/corvane-update-tool/changelog.gz" >"$out/changelog"
changelog_version=$(dpkg-parsechangelog -l "$out/changelog" -S Version)
[ "$package_version" = "$changelog_version" ] ||
  fail "the changelog's newest entry is $changelog_version, the package is $package_version (add an entry to resources/debian/changelog)"
echo "changelog: newest entry $changelog_version, as the package"

step "hardening of the packaged programs"
for program in corvane-update corvane-update-tool; do
  binary=$tree/usr/bin/$program
  header=$(readelf --file-header --program-headers --dynamic --section-headers --wide "$binary")
  symbols=$(readelf --dyn-syms --wide "$binary")
  check() { grep -Eq "$2" <<<"$3" || fail "$program: $1"; }
  check "not a position-independent executable" 'Type: +DYN' "$header"
  check "no read-only relocations (relro)" 'GNU_RELRO' "$header"
  check "not linked with bind-now" 'BIND_NOW|FLAGS_1.*NOW' "$header"
  check "no stack protector" '__stack_chk_fail' "$symbols"
  check "no fortified libc calls" '__[a-z_]+_chk' "$symbols"
  if grep -Eq '\.symtab|\.debug_|\.comment' <<<"$header"; then fail "$program: not stripped"; fi
  echo "$program: PIE, relro, bind-now, stack protector, fortified calls, stripped"
done

root=$(mktemp -d /tmp/corvane-package-root.XXXXXX)
cleanup() {
  for mount in "$root/sys" "$root/proc"; do
    if mountpoint -q "$mount"; then umount -l "$mount"; fi
  done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
mount_root() {
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --make-rslave "$root/sys"
}
unmount_root() {
  umount -l "$root/sys"
  umount -l "$root/proc"
}

# The kept root holds Debian's minimal base and exactly what the package's dependencies pull in: the
# key changes with the dependency list, so a dependency added or dropped gets a root made afresh,
# and a missing one still shows as a program that does not start.
cache=${CORVANE_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/corvane-update}
max_days=${CORVANE_ROOT_MAX_DAYS:-14}
depends=$(dpkg-deb -f "$deb" Pre-Depends Depends)
key=$(printf 'recipe 1\nbookworm minbase\n%s\n%s\n' "$mirror" "$depends" | sha256sum | cut -c1-16)
kept=$cache/package-root-$key.tar
mkdir -p "$cache/debootstrap"
find "$cache" -maxdepth 1 -name 'package-root-*.tar' -mtime +"$max_days" -delete
if [ -f "$kept" ]; then
  step "unpacking the kept Debian 12 root with the dependencies (key $key)"
  tar -C "$root" --numeric-owner -xf "$kept" || fail "cannot unpack $kept"
else
  step "making a throw-away Debian 12 root (debootstrap; key $key)"
  debootstrap --variant=minbase --cache-dir="$cache/debootstrap" bookworm "$root" "$mirror" \
    >"$out/debootstrap.log" 2>&1 || { tail -20 "$out/debootstrap.log"; fail "debootstrap"; }
  # The root is thrown away: dpkg need not sync every file it unpacks.
  echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/corvane-check-unsafe-io"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mount_root
  in_root apt-get update -q >"$out/apt.log" 2>&1 || { tail -20 "$out/apt.log"; fail "apt-get update in the root"; }
  # The dependencies come from the archive, as for a user: installing the package pulls them in;
  # removing it again leaves them, and the root is kept without it.
  cp "$deb" "$root/tmp/"
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "/tmp/$(basename "$deb")" >>"$out/apt.log" 2>&1 || { tail -30 "$out/apt.log"; fail "apt-get install of the package"; }
  in_root dpkg --purge corvane-update-tool >>"$out/apt.log" 2>&1 || fail "removing the package before keeping the root"
  in_root apt-get clean
  rm -f "$root/tmp/$(basename "$deb")"
  unmount_root
  tar -C "$root" --numeric-owner -cf "$kept.$$" . && mv "$kept.$$" "$kept" || rm -f "$kept.$$"
  echo "kept the root in $kept ($(du -sh "$kept" | cut -f1))"
fi
step "installing the package with apt in that root"
mount_root
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
# Its dependencies are in the root already: apt installs the package alone and fetches nothing.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "/tmp/$(basename "$deb")" >>"$out/apt.log" 2>&1 || { tail -30 "$out/apt.log"; fail "apt-get install of the package"; }
grep -E '^(Setting up|Unpacking) corvane' "$out/apt.log"
in_root dpkg-query -W -f='${Package} ${Version} ${Status}\n' corvane-update-tool

step "running the installed programs in the root"
run() {
  echo "\$ $*"
  in_root "$@" || fail "'$*' in the installed root"
}
run corvane-update --version
run corvane-update-tool --version
run corvane-update list --simulate kts260
# The window with nothing but the package's dependencies: Qt's offscreen platform, up to the first
# turn of its event loop.
run env QT_QPA_PLATFORM=offscreen CORVANE_EXIT_AFTER_SHOW=1 timeout 60 corvane-update-tool --simulate kts260
# udev reads every rule file while testing a device: a rule it cannot parse is reported here.
udev_log=$(in_root udevadm test /devices/virtual/mem/null 2>&1) || { echo "$udev_log"; fail "udevadm test"; }
grep -F 70-corvane-update.rules <<<"$udev_log"
# udev names the file only to say it read it; any other line about it is a complaint (an invalid
# key, a GOTO without its LABEL, a line it drops).
if grep -F 70-corvane-update.rules <<<"$udev_log" | grep -vq '^Reading rules file: '; then
  fail "udev does not accept every line of 70-corvane-update.rules"
fi

step "manual pages, rendered from the root"
for page in corvane-update corvane-update-tool; do
  file=$root/usr/share/man/man1/$page.1.gz
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 MAN_KEEP_FORMATTING=0 man -l "$file" | col -b
done

step "package check: ok"
