#!/bin/bash
# Runs `udevadm test` with the built udev rule alone on a fake sysfs tree of sg nodes and shows which
# get the "uaccess" tag: a Corvane adaptor on usb-storage and on uas does; another product of the
# chip maker, another maker's drive behind a hub that carries a Corvane adaptor's ids, another
# maker's stick and a FireWire unit that calls itself Corvane do not.
#
# usage: udev_rule_test.sh RULE_FILE SHIM_LIBRARY
# Needs root (a private mount namespace binds the tree over /sys and the rule over the rule folders).
set -euo pipefail
rule=$(realpath "$1")
shim=$(realpath "$2")
if [ "$(id -u)" -ne 0 ] || ! command -v udevadm >/dev/null; then
  echo "udev_rule_test: needs root and udevadm" >&2
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sys=$work/sys
mkdir -p "$sys/bus/usb/drivers/usb" "$sys/bus/usb/drivers/usb-storage" "$sys/bus/usb/drivers/uas" \
  "$sys/bus/scsi/drivers/sd" "$sys/bus/firewire/drivers/firewire_sbp2" "$sys/class/scsi_generic" \
  "$work/rules" "$work/run" "$work/dev"
cp "$rule" "$work/rules/"

# node DIR SUBSYSTEM-FOLDER [DRIVER] [DEVTYPE]: one device directory with its links and uevent.
node() {
  mkdir -p "$1"
  ln -sfn "$(realpath --relative-to="$1" "$sys/$2")" "$1/subsystem"
  if [ -n "${3:-}" ]; then ln -sfn "$(realpath --relative-to="$1" "$sys/$3")" "$1/driver"; fi
  if [ -n "${4:-}" ]; then echo "DEVTYPE=$4" >"$1/uevent"; else : >"$1/uevent"; fi
}
usb_device() {  # DIR VENDOR PRODUCT CLASS
  node "$1" bus/usb bus/usb/drivers/usb usb_device
  echo "$2" >"$1/idVendor"; echo "$3" >"$1/idProduct"; echo "$4" >"$1/bDeviceClass"
}
# scsi_disk UNIT-DIR DRIVER-OF-UNIT BUS-OF-UNIT HOST SG VENDOR: the SCSI host under the unit, down to
# the sg node.
scsi_disk() {
  local unit=$1 host=$4 sg=$5
  node "$unit" "bus/$3" "bus/$3/drivers/$2" "$([ "$3" = usb ] && echo usb_interface)"
  node "$unit/host$host" bus/scsi "" scsi_host
  node "$unit/host$host/target$host:0:0" bus/scsi "" scsi_target
  local dev=$unit/host$host/target$host:0:0/$host:0:0:0
  node "$dev" bus/scsi bus/scsi/drivers/sd scsi_device
  printf '%-8s\n' "$6" >"$dev/vendor"
  node "$dev/scsi_generic/$sg" class/scsi_generic
  printf 'MAJOR=21\nMINOR=%s\nDEVNAME=%s\n' "${sg#sg}" "$sg" >"$dev/scsi_generic/$sg/uevent"
  ln -sfn "$(realpath --relative-to="$sys/class/scsi_generic" "$dev/scsi_generic/$sg")" \
    "$sys/class/scsi_generic/$sg"
}
pci=$sys/devices/pci0000:00/0000:00:14.0
usb_device "$pci/usb1" 1d6b 0002 09
usb_device "$pci/usb2" 1d6b 0003 09
# sg1: a KTS260 adaptor on usb-storage.
usb_device "$pci/usb1/1-1" 3c9f 2602 00
scsi_disk "$pci/usb1/1-1/1-1:1.0" usb-storage usb 6 sg1 Corvane
# sg2: a KTS210 adaptor on uas.
usb_device "$pci/usb2/2-1" 3c9f 2172 00
scsi_disk "$pci/usb2/2-1/2-1:1.0" uas usb 7 sg2 Corvane
# sg3: another product of the chip maker, same vendor id.
usb_device "$pci/usb1/1-2" 3c9f 2603 00
scsi_disk "$pci/usb1/1-2/1-2:1.0" usb-storage usb 8 sg3 Quorvel
# sg4: another maker's drive behind a hub that enumerates with a Corvane adaptor's ids.
usb_device "$pci/usb1/1-3" 3c9f 2602 09
usb_device "$pci/usb1/1-3/1-3.1" 0781 5567 00
scsi_disk "$pci/usb1/1-3/1-3.1/1-3.1:1.0" usb-storage usb 9 sg4 SanDisk
# sg5: another maker's stick.
usb_device "$pci/usb1/1-4" 0781 5567 00
scsi_disk "$pci/usb1/1-4/1-4:1.0" usb-storage usb 10 sg5 SanDisk
# sg6: a FireWire (SBP-2) unit whose INQUIRY vendor says Corvane.
fw=$sys/devices/pci0000:00/0000:00:1e.0/0000:05:00.0/fw1
node "$fw" bus/firewire
scsi_disk "$fw/fw1.0" firewire_sbp2 firewire 11 sg6 Corvane

tagged() {  # SG: 0 when udev tags its node "uaccess"
  local out
  out=$(unshare -m bash -c '
    mount --bind "$1/sys" /sys && mount --bind "$1/rules" /etc/udev/rules.d &&
      mount --bind "$1/rules" /usr/lib/udev/rules.d && mount --bind "$1/run" /run &&
      mount --bind "$1/dev" /dev &&
      LD_PRELOAD="$2" udevadm test --action=add "/sys/class/scsi_generic/$3"' _ "$work" "$shim" "$1" 2>&1) ||
    { echo "$out" >&2; echo "udev_rule_test: udevadm test failed for $1" >&2; exit 1; }
  grep -q '^TAGS=.*:uaccess:' <<<"$out"
}

failed=0
printf '%-5s %-9s %-8s %s\n' node expected result device
while read -r sg expected what; do
  if tagged "$sg"; then got=tagged; else got=untagged; fi
  [ "$got" = "$expected" ] && verdict=ok || { verdict=WRONG; failed=1; }
  printf '%-5s %-9s %-8s %s\n' "$sg" "$expected" "$verdict" "$what"
done <<'ROWS'
sg1 tagged KTS260 adaptor (3c9f:2602) on usb-storage
sg2 tagged KTS210 adaptor (3c9f:2172) on uas
sg3 untagged the chip maker's other product (3c9f:2603)
sg4 untagged another maker's drive behind a hub with a Corvane adaptor's ids
sg5 untagged another maker's stick (0781:5567)
sg6 untagged FireWire unit reporting vendor Corvane
ROWS
exit $failed
