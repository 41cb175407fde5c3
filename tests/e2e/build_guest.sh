#!/bin/bash
# Builds the end-to-end guest from Debian's archive: a kernel, the modules that put a virtual USB bus
# (dummy_hcd + FunctionFS) and the host's storage drivers (usb-storage, sd, sg) into one initramfs,
# busybox for the shell, sg3_utils with its libraries for the peer checks, and our own programs.
#
# usage: build_guest.sh WORKDIR GADGET_BIN CLI_BIN [WATCH_TOOL ...]
# Leaves WORKDIR/vmlinuz and WORKDIR/initramfs.cpio.gz. The downloaded packages are kept in
# WORKDIR/debs so that a second run needs no network.
set -euo pipefail

work=$(realpath "$1"); shift
gadget=$(realpath "$1"); shift
cli=$(realpath "$1"); shift
extra=()
for x in "$@"; do extra+=("$(realpath "$x")"); done
here=$(cd "$(dirname "$0")" && pwd)

need_tools() {
  local missing=()
  command -v depmod >/dev/null || missing+=(kmod)
  command -v cpio >/dev/null || missing+=(cpio)
  if ((${#missing[@]})); then
    echo "build_guest: installing ${missing[*]}" >&2
    apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
  fi
}
need_tools

mkdir -p "$work/debs"
cd "$work/debs"
# The kernel package is named after its ABI; ask the meta package which one it is today.
kpkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
if [ -z "$kpkg" ]; then
  apt-get update >/dev/null
  kpkg=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
fi
sgpkg=$(apt-cache depends sg3-utils | awk '/Depends: libsgutils2/{print $2; exit}')
for p in "$kpkg" busybox-static sg3-utils "$sgpkg" libc6; do
  if ! ls "${p}"_*.deb >/dev/null 2>&1; then
    apt-get download "$p" >/dev/null 2>&1 || { apt-get update >/dev/null; apt-get download "$p"; }
  fi
done

tree="$work/unpacked"
rm -rf "$tree"
mkdir -p "$tree"
for d in "$work"/debs/*.deb; do dpkg-deb -x "$d" "$tree"; done
kver=${kpkg#linux-image-}
depmod -b "$tree" "$kver"

root="$work/root"
rm -rf "$root"
mkdir -p "$root"/{bin,sbin,dev,proc,sys,tmp,mnt,lib/modules,lib64,usr/lib/x86_64-linux-gnu,e2e,etc}
cp "$tree/bin/busybox" "$root/bin/busybox"
for applet in $("$root/bin/busybox" --list); do
  [ -e "$root/bin/$applet" ] || ln -s busybox "$root/bin/$applet"
done

# Modules in dependency order; the order file is what the guest's init loads.
: >"$root/lib/modules/order"
# 9p over virtio: the Windows group's chroot (the host's /usr and /etc, the share with the Wine prefix).
for m in dummy_hcd usb_f_fs libcomposite usb-storage uas sg sd_mod ata_piix 9p 9pnet_virtio virtio_pci; do
  modprobe -d "$tree" -S "$kver" --show-depends "$m" | awk '$1=="insmod"{print $2}'
done | awk '!seen[$0]++' | while read -r ko; do
  cp "$ko" "$root/lib/modules/"
  basename "$ko" >>"$root/lib/modules/order"
done

# sg3_utils is linked dynamically: take its programs, its library and the C library of the same release.
for t in sg_inq sg_read_buffer sg_write_buffer sg_raw sg_turs sg_map26; do
  cp "$tree/usr/bin/$t" "$root/bin/$t"
done
cp -a "$tree"/usr/lib/x86_64-linux-gnu/libsgutils2*.so* "$root/usr/lib/x86_64-linux-gnu/"
for l in libc.so.6 libm.so.6 libresolv.so.2; do
  cp -aL "$tree/lib/x86_64-linux-gnu/$l" "$root/usr/lib/x86_64-linux-gnu/" 2>/dev/null ||
    cp -aL "$tree/usr/lib/x86_64-linux-gnu/$l" "$root/usr/lib/x86_64-linux-gnu/"
done
for ld in "$tree"/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2 "$tree"/usr/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2; do
  [ -e "$ld" ] && { cp -L "$ld" "$root/lib64/ld-linux-x86-64.so.2"; break; }
done

cp "$gadget" "$root/bin/corvane-usb-gadget"
cp "$cli" "$root/bin/corvane-update"
for x in "${extra[@]}"; do cp "$x" "$root/bin/"; done
cp "$here/guest/init" "$root/init"
cp "$here"/guest/*.sh "$root/e2e/"
if ls "$here"/guest/*.json >/dev/null 2>&1; then cp "$here"/guest/*.json "$root/e2e/"; fi
chmod +x "$root/init" "$root"/e2e/*.sh

cp "$tree/boot/vmlinuz-$kver" "$work/vmlinuz"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1 >"$work/initramfs.cpio.gz")
echo "guest: kernel $kver, initramfs $(du -h "$work/initramfs.cpio.gz" | cut -f1)"
