# The Windows group, sourced by scenarios.sh (it uses that file's helpers). The Windows command line
# (corvane-update-e2e.exe: the shipped CLI's code and backend, SystemWinApi, WinScsiPort,
# SetupDiDiskSource, with the guard that lets placeholder images through to dummy_hcd only) and the
# shipped window run under Wine 8 in a chroot made of the host's /usr and /etc (read-only 9p) and a
# writable 9p share that holds a Wine prefix made on the host. Wine carries DeviceIoControl
# (IOCTL_SCSI_PASS_THROUGH_DIRECT) on a handle of /dev/sgN to SG_IO, so every command block goes
# through the same usb-storage, sd and sg drivers to the same gadgets as the Linux rows.
#
# Windows' plug-and-play manager is played by this script: per virtual adaptor one registry entry
# of the disk interface class (named as Windows names a USB disk, from the kernel's INQUIRY texts
# and the USB serial number; present while its Control\Linked is 1) and one dosdevices entry that
# leads the interface path to the adaptor's current sg node, renewed at every plug.

W=/wine                      # the chroot
PFX=/share/prefix            # the Wine prefix as the chroot sees it
DOS=$W$PFX/dosdevices
GUID='{53f56307-b6bf-11d0-94f2-00a0c91efb8b}'
PNP=/tmp/pnp                 # one file per adaptor known to the stand-in: its device instance id
WLIMIT=300                   # seconds any one Wine program may take (the first one starts Wine's services)
WENV=                        # extra environment for the next Wine program

wine_root() {
  mkdir -p $W $PNP && mount -t tmpfs -o size=64m tmpfs $W || return 1
  mkdir -p $W/usr $W/etc $W/proc $W/sys $W/dev $W/tmp $W/share $W/root $W/run
  # The host is a merged-/usr Debian: its top-level program and library folders are links into /usr.
  for l in bin sbin lib lib32 lib64; do ln -s usr/$l $W/$l; done
  o=trans=virtio,version=9p2000.L,msize=262144
  mount -t 9p -o $o,ro,cache=loose hostusr $W/usr &&
    mount -t 9p -o $o,ro,cache=loose hostetc $W/etc &&
    mount -t 9p -o $o,cache=mmap winshare $W/share || return 1
  mkdir -p /dev/shm && mount -t tmpfs tmpfs /dev/shm
  mount -o bind /proc $W/proc && mount -o bind /sys $W/sys && mount -o rbind /dev $W/dev &&
    mount -t tmpfs tmpfs $W/tmp
}

wenv() {
  chroot $W /usr/bin/env -i HOME=/root USER=root LOGNAME=root PATH=/usr/bin:/bin LANG=C \
    WINEPREFIX=$PFX WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' $WENV "$@"
}

# A Windows program through Wine; its output goes to files (Wine's services keep a pipe open for
# good), in $out and $out.err with Unix line ends; its exit status in $rc.
wrun() {
  timeout $WLIMIT chroot $W /usr/bin/env -i HOME=/root USER=root LOGNAME=root PATH=/usr/bin:/bin \
    LANG=C WINEPREFIX=$PFX WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' $WENV wine "$@" \
    </dev/null >"$out.raw" 2>"$out.err.raw"
  rc=$?
  tr -d '\r' <"$out.raw" >"$out"
  tr -d '\r' <"$out.err.raw" >"$out.err"
}
wcli() { wrun "$EXE/corvane-update-e2e.exe" "$@"; }

# Windows names a USB disk after its INQUIRY texts (trailing blanks dropped, blanks as "_") and the
# USB serial number: instance USBSTOR\Disk&Ven_V&Prod_P&Rev_R\SERIAL&0, interface
# \\?\usbstor#disk&ven_v&prod_p&rev_r#serial&0#{disk class} (lower case as SetupDi reports it).
win_text() { sed 's/ *$//; s/ /_/g' "$1"; }
iface_of() { echo "$(sed 's/\\/#/g' "$PNP/$1")#$GUID"; }
iface_lower() { echo "$(sed 's/\\/#/g' "$PNP/$1")#$GUID" | tr 'A-Z' 'a-z'; }
wpath() { echo "\\\\?\\$(iface_lower "$1")"; }  # the path the Windows CLI lists

pnp_link() { ln -sfn "/dev/$(sg_of "$2")" "$DOS/$(iface_lower "$1")"; }  # gadget port
pnp_unlink() { rm -f "$DOS/$(iface_lower "$1")"; }
pnp_add() { # gadget port: names the attached adaptor and links its interface to its sg node
  d=$(ls -d /sys/devices/platform/dummy_hcd.$2/usb*/*/*/host*/target*/*:*:*:* 2>/dev/null | head -1)
  serial=$(cat /sys/devices/platform/dummy_hcd.$2/usb*/*-1/serial)
  printf '%s\n' "USBSTOR\\Disk&Ven_$(win_text "$d/vendor")&Prod_$(win_text "$d/model")&Rev_$(win_text "$d/rev")\\$serial&0" >"$PNP/$1"
  pnp_link "$1" "$2"
}
pnp_add_internal() { # the guest's ATA disk, as Windows names an IDE disk: no candidate of the tool
  for s in /sys/class/scsi_generic/*; do
    case $(readlink -f "$s") in */ata*) [ "$(cat "$s/device/type")" = 0 ] && ata=${s##*/} ;; esac
  done
  printf '%s\n' 'IDE\DiskQEMU_HARDDISK___________________________2.5+____\5&e2e0&0&0.0.0' >"$PNP/internal"
  ln -sfn "/dev/$ata" "$DOS/$(iface_lower internal)"
}

# gadget=1|0 ...: one registry import makes the listed interfaces present (1) or gone (0).
pnp_sync() {
  f=$W/tmp/pnp.reg
  echo REGEDIT4 >"$f"
  for a in "$@"; do
    g=${a%=*}
    inst=$(cat "$PNP/$g")
    key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses\\$GUID\\##?#$(iface_of "$g")"
    printf '\n[%s]\n"DeviceInstance"="%s"\n\n[%s\\#]\n"SymbolicLink"="\\\\\\\\?\\\\%s"\n\n[%s\\#\\Control]\n"Linked"=dword:%08x\n\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\%s]\n"ClassGUID"="{4d36e967-e325-11ce-bfc1-08002be10318}"\n' \
      "$key" "$(echo "$inst" | sed 's/\\/\\\\/g')" "$key" "$(iface_of "$g")" "$key" "${a#*=}" "$inst" >>"$f"
  done
  out=/tmp/pnp.import
  wrun reg import 'Z:\tmp\pnp.reg'
  [ "$rc" = 0 ] || { log_file "registry import" "$out"; log_file "registry import" "$out.err"; }
}

wstart_gadget() { # name port scenario product-id: a gadget whose trace holds every data byte
  corvane-usb-gadget --name "$1" --udc "dummy_udc.$2" --scenario "$3" --pid "$4" \
    --serial "E2EW0000000$2" --trace "/tmp/$1.trace" --trace-data 2>"/tmp/$1.err" &
}
wreplug() { # gadget port: pull the adaptor out and plug it in again, as a user does after an update
  pnp_unlink "$1"
  unplug "$1"
  wait_detached "$2"
  plug "$1" "$2"
  wait_attached "$2" && pnp_link "$1" "$2"
}

# A second opinion on what an update left behind, from readers that are not the program under
# test: sg_raw's READ BUFFER blocks of the firmware area against the carried area, sg_raw's chip
# memory read of the NVRAM block.
read_area() { # port blocks file
  rm -f "$3"
  i=0 src=0
  while [ $i -lt "$2" ]; do
    off=$((i * 1024))
    o=$(printf '%02x %02x %02x' $((off >> 16)) $(((off >> 8) & 255)) $((off & 255)))
    sg_raw -r 1024 -o /tmp/block.bin "/dev/$(sg_of "$1")" 3c 01 00 $o 00 04 00 00 >/dev/null 2>&1 || src=1
    cat /tmp/block.bin >>"$3"
    i=$((i + 1))
  done
  return $src
}
read_nvram() { # port "A2 A1 A0" file
  sg_raw -r 512 -o "$3" "/dev/$(sg_of "$1")" df 10 00 02 00 00 00 00 $2 fa >/dev/null 2>&1
}
nvram_field() { dd if="$1" bs=1 skip="$2" count=8 2>/dev/null; }  # file offset
linux_firmware() { # port: the firmware the Linux CLI lists for the adaptor there
  out=/tmp/second.list
  cli list
  sed -n "s/.* firmware=\([^ ]*\) romMode=\([a-z]*\).* path=$(path_of "$1" | sed 's/[./]/\\&/g').*/\1 \2/p" "$out"
}

# The update row of one adaptor: exact status, every block through Wine, and the second opinion.
win_update() { # row gadget port blocks area-file "nvram address" after-version [--no-backup]
  row=$1 g=$2 port=$3 blocks=$4 area=$5 addr=$6 want=$7
  shift 7
  # The CLI's backup before the write reads the firmware area with the same READ BUFFER blocks.
  reads_want=$((blocks * ($# == 0 ? 2 : 1)))
  out=/tmp/$row.out
  t=$(ms)
  wcli update --device "$(wpath "$g")" --yes "$@"
  cp "$out" "/tmp/$row.update"
  writes=$(count_cdb "/tmp/$g.trace" "$t" "3B 0E")
  reads=$(count_cdb "/tmp/$g.trace" "$t" "3C 01")
  grep -qx "status: Update complete" "$out"
  ok=$(($? + (rc != 0) + (writes != blocks) + (reads != reads_want)))
  read_area "$port" "$blocks" "/tmp/$row.area"
  cmp -s "/tmp/$row.area" "$area"
  area_ok=$?
  read_nvram "$port" "$addr" "/tmp/$row.nvram"
  field=$(nvram_field "/tmp/$row.nvram" 200)
  wreplug "$g" "$port"
  after=$(linux_firmware "$port")
  [ "$field" = "Corvane " ] && [ "${after%% *}" = "$want" ]
  check "$row" "$t" $((ok + area_ok + $?)) \
    "exit $rc, $writes WRITE BUFFER and $reads READ BUFFER blocks (want $blocks and $reads_want); flash area $([ $area_ok = 0 ] && echo equals || echo DIFFERS from) the carried one (sg_raw); NVRAM field 1 '$field'; after re-plug the Linux CLI lists $after (want $want)"
  [ "$rc" = 0 ] || { log_file "$row" "$out"; log_file "$row" "$out.err"; }
  echo "E2E PERF $row-ms $(($(ms) - t))"
}

# Until the kernel's own reads after an attach (the partition table) are over: the trace stays
# still for a second. A journey that began earlier would find them in its part of the trace.
settle() { # trace
  end=$(($(ms) + 20000)) last=-1
  while [ "$(ms)" -lt $end ]; do
    n=$(wc -c <"$1")
    [ "$n" = "$last" ] && return 0
    last=$n
    sleep 1
  done
}

# Traces from a time on, as the bridge saw them: command block, direction, length, result and every
# data byte; time stamps and the gadget's name left out.
wire_since() { awk -v since="$2" '{ t = substr($1, 3) + 0 } t >= since && $2 != "power" { $1 = ""; $2 = ""; print }' "$1"; }

win_group() {
  tg=$(ms)
  arch=${E2E_WINE%%,*}
  EXE=/opt/$arch
  rm -f /tmp/images && mkdir -p /tmp/images && corvane-e2e-images /tmp/images
  # Nothing of the Linux rows stays on the bus.
  for g in a260 a210 stick rom pull slow; do [ -e "$CFG/$g" ] && unplug $g 2>/dev/null; done
  for p in 0 1 2 3 4; do wait_detached $p; done

  t=$(ms)
  wine_root
  setup=$?
  # Run from the chroot's memory: Wine maps a program's sections from its file, and mappings of
  # larger programs on the 9p share came back unusable.
  mkdir -p $W/opt && cp -r $W/share/x86 $W/share/x64 $W/opt/ 2>/dev/null
  [ -f $W$EXE/corvane-update-e2e.exe ] || setup=1
  wenv wineserver -p
  # The desktop process, started once for the whole group: a program that needs the desktop starts
  # one itself but waits only seconds for it, which a guest under TCG does not always make, and
  # the program then runs without a desktop (its windows out of other programs' reach, FindWindow
  # in the update check waiting each time).
  (out=/tmp/desktop; WLIMIT=3600 wrun explorer.exe /desktop) &
  wstart_gadget w260 0 kts260 0x0260
  wstart_gadget w210 1 kts210 0x0210
  wstart_gadget wstick 2 usb-stick 0x5678
  wstart_gadget wrom 3 kts260-unplug 0x0262
  wstart_gadget wwin 4 kts260 0x0264
  for p in 0 1 2 3 4; do wait_attached $p || setup=1; done
  pnp_add w260 0; pnp_add w210 1; pnp_add wstick 2; pnp_add wrom 3; pnp_add wwin 4
  pnp_unlink wwin
  pnp_add_internal
  read_nvram 1 "00 d0 00" /tmp/w210.nvram-before
  tw=$(ms)
  pnp_sync internal=1 w260=1 w210=1 wstick=1 wrom=1 wwin=0
  echo "E2E PERF win-first-program-ms $(($(ms) - tw))"
  check win-setup "$t" $((setup + rc)) "chroot on the host's /usr and /etc, prefix on the share, 5 adaptors named and linked, registry import exit $rc ($arch)"

  # Discovery: SetupDi lists the five interfaces; the candidate rule keeps the four USB ones; the
  # three adaptors answer through Wine's pass-through, the stick does not; the internal disk is
  # never asked.
  out=/tmp/win.list
  t=$(ms)
  wcli list --trace
  listed=$(grep -c '^<<USB>> ' "$out")
  grep -qF "chip=KTS260 firmware=0.1.0.8 romMode=no offered=234.01.00.01 path=$(wpath w260)" "$out" &&
    grep -qF "chip=KTS210 firmware=0.2.1.3 romMode=no offered=02.14 path=$(wpath w210)" "$out" &&
    grep -qF "path=$(wpath wrom)" "$out"
  found=$?
  stick_asked=$(grep -c "^trace $(wpath wstick | sed 's/[][\\.*^$]/\\&/g') " "$out.err")
  internal_asked=$(grep -c "^trace \\\\\\\\?\\\\ide#" "$out.err")
  list_rc=$rc
  out=/tmp/win.check-several
  wcli check
  grep -q "^status: Multiple USB drives are attached" "$out"
  check win-list "$t" $((found + (list_rc != 0) + (listed != 3) + (stick_asked == 0) + (internal_asked != 0) + $? + (rc != 3))) \
    "list exit $list_rc: $listed adaptors listed, the stick asked $stick_asked times and not listed, the internal disk asked $internal_asked times; check without --device: exit $rc, several adaptors"
  [ "$found" = 0 ] || { log_file win-list /tmp/win.list; log_file win-list /tmp/win.list.err 20; }

  # A refused vendor command: the stick answers the chip-information block with CHECK CONDITION;
  # Wine hands back a request carried out with ScsiStatus 2 (not a failed call), which the
  # transport's rule turns into a failure; the sense data went to the kernel's own REQUEST SENSE.
  refused=$(grep "^trace $(wpath wstick | sed 's/[][\\.*^$]/\\&/g')  E0 F4 E7 " /tmp/win.list.err | head -1)
  gadget_e0=$(grep -m1 "  E0 F4 E7 " /tmp/wstick.trace)
  # key ASC ASCQ of the fixed-format sense that follows the first refusal
  sense=$(awk 'f && index($0, "  03 00 00 00 ") { i = index($0, "data="); h = substr($0, i + 5)
      print substr(h, 6, 1) " " substr(h, 25, 2) " " substr(h, 27, 2); exit }
    index($0, "  E0 F4 E7 ") { f = 1 }' /tmp/wstick.trace)
  echo "$refused" | grep -q -- "-> status 02$" && echo "$gadget_e0" | grep -q -- "-> status 02" &&
    [ "$sense" = "5 20 00" ]
  check win-check-condition "$t" $? \
    "the Windows CLI saw '${refused##*  -> }' for E0 F4 E7 on the stick; the gadget answered it '${gadget_e0##*-> }'; the kernel's REQUEST SENSE then got key, ASC, ASCQ '${sense:-none}' (want 5 20 00)"

  for g in w260 w210; do
    out=/tmp/win.check-$g
    t=$(ms)
    wcli check --device "$(wpath $g)"
    cp "$out" "/tmp/win.check-$g.txt"
    if [ $g = w260 ]; then chip=kts260 offer="NVMe Bridge 234.01.00.01" fw=0.1.0.8; else chip=kts210 offer="SATA Bridge 02.14" fw=0.2.1.3; fi
    grep -qx "status: Click here to download and update the Corvane $offer" "$out" && grep -q "^firmware: $fw" "$out"
    check win-check-$chip "$t" $(($? + (rc != 5))) "exit $rc: $(grep '^status' "$out")"
    [ "$rc" = 5 ] || { log_file win-check-$chip "$out"; log_file win-check-$chip "$out.err"; }
  done

  win_update win-update-kts260 w260 0 65 /tmp/images/KTS260-area.bin "01 10 00" 234.1.0.1 --no-backup
  # The KTS210's update takes the CLI's backup first; the restore writes it back.
  win_update win-update-kts210 w210 1 49 /tmp/images/KTS210-area.bin "00 d0 00" 0.2.1.4
  backup=$(sed -n 's/^backup: //p' /tmp/win-update-kts210.update)
  out=/tmp/win.restore
  t=$(ms)
  wcli restore "$backup" --device "$(wpath w210)" --yes
  restore_rc=$rc
  grep -qx "status: Restore complete" "$out"
  restored=$?
  read_nvram 1 "00 d0 00" /tmp/w210.nvram-after
  cmp -s /tmp/w210.nvram-before /tmp/w210.nvram-after
  nvram_back=$?
  wreplug w210 1
  after=$(linux_firmware 1)
  [ "${after%% *}" = 0.2.1.3 ] && [ -n "$backup" ]
  check win-backup-restore "$t" $((restored + (restore_rc != 0) + nvram_back + $?)) \
    "backup '$backup' taken by the update; restore exit $restore_rc; NVRAM block $([ $nvram_back = 0 ] && echo "as before the update" || echo "DIFFERS from before"); after re-plug the Linux CLI lists $after (want 0.2.1.3)"
  [ "$restore_rc" = 0 ] || { log_file restore "$out"; log_file restore "$out.err"; }

  # An NVMe adaptor pulled out by the gadget at its 20th WRITE BUFFER of the Windows CLI's update,
  # plugged in again in its boot ROM, then brought back by the Windows CLI: manufacturing image,
  # sub-code 3, firmware.
  out=/tmp/win.rom-fail
  t=$(ms)
  wcli update --device "$(wpath wrom)" --yes --no-backup
  fail_rc=$rc
  grep -qx "status: Update Fail" "$out"
  failed=$?
  pnp_unlink wrom
  wait_detached 3
  plug wrom 3
  wait_attached 3 && pnp_link wrom 3
  out=/tmp/win.rom-recover
  t2=$(ms)
  wcli update --device "$(wpath wrom)" --yes --no-backup
  mfg=$(awk -v since="$t2" '{ t = substr($1, 3) + 0 } t >= since && index($0, "  3B 06 00 00 00 00 01 00 00 00  out  len=65536 ")' /tmp/wrom.trace | grep -c "ok")
  sub3=$(count_cdb /tmp/wrom.trace "$t2" "DF 03 00 00 00 00 00 00 00 00 00 FB")
  blocks=$(count_cdb /tmp/wrom.trace "$t2" "3B 0E")
  grep -q "^firmware: .*(boot ROM)" "$out" && grep -qx "status: Update complete" "$out"
  recovered=$?
  wreplug wrom 3
  after=$(linux_firmware 3)
  [ "$after" = "234.1.0.1 no" ]
  check win-rom-recovery "$t" $((failed + (fail_rc != 6) + recovered + (rc != 0) + (mfg != 1) + (sub3 < 1) + (blocks < 65) + $?)) \
    "interrupted update exit $fail_rc ($(grep -m1 '^reason' /tmp/win.rom-fail)); recovery exit $rc: $mfg manufacturing image(s), $sub3 sub-code 3, $blocks firmware blocks; after re-plug the Linux CLI lists $after"
  [ "$rc" = 0 ] || { log_file rom "$out"; log_file rom "$out.err"; }

  # The window on its real backend, alone with one fresh adaptor: first scan and check, then the
  # click. The shipped window carries placeholder images and its port is a real one, so the update
  # must be refused before anything is written.
  pnp_link wwin 4
  pnp_sync w260=0 w210=0 wstick=0 wrom=0 wwin=1
  for g in w260 w210 wstick wrom; do pnp_unlink $g; done
  t=$(ms)
  rm -f $W/tmp/ui.txt
  out=/tmp/win.window
  # The window puts the reason of a refusal on the debugger channel, which Wine's debugstr shows.
  WENV="WINEDEBUG=-all,warn+debugstr CORVANE_UI_REPORT=Z:\\tmp\\ui.txt"
  wrun "$EXE/corvane-update-tool.exe" &
  wpid=$!
  WENV=
  offer="Click here to download and update the Corvane NVMe Bridge 234.01.00.01"
  wait_report "status $offer" 240
  shown=$?
  out=/tmp/win.click
  tc=$(ms)
  wrun "$EXE/corvane-journey-helper.exe" click
  click_rc=$rc
  wait_report "status Update Fail" 120
  refused=$?
  out=/tmp/win.close
  wrun "$EXE/corvane-journey-helper.exe" close
  i=0
  while kill -0 $wpid 2>/dev/null && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
  kill -0 $wpid 2>/dev/null && closed=1 || closed=0
  outs=$(awk -v since="$tc" '{ t = substr($1, 3) + 0 } t >= since && index($0, "  out ")' /tmp/wwin.trace | grep -c .)
  grep -q "Placeholder firmware refused" /tmp/win.window.err
  check win-window "$t" $((shown + click_rc + refused + closed + outs + $?)) \
    "first scan and check: $(grep -c "status $offer" $W/tmp/ui.txt) offer(s) shown; click (helper exit $click_rc) then $(grep ' status Update' $W/tmp/ui.txt | tail -1 | cut -d' ' -f3-); $outs data-out commands reached the adaptor; window ended: $([ $closed = 0 ] && echo yes || echo NO)"
  [ "$shown" = 0 ] && [ "$refused" = 0 ] || { log_file ui $W/tmp/ui.txt; log_file window /tmp/win.window.err; }
  echo "E2E PERF win-window-ms $(($(ms) - t))"

  # The same journey by both platforms' programs against fresh identical adaptors: the bridge must
  # see the same command blocks, directions, lengths and data bytes from each.
  for g in w260 w210 wstick wrom wwin; do unplug $g; pnp_unlink $g; done
  for p in 0 1 2 3 4; do wait_detached $p; done
  wstart_gadget lwire 0 kts260 0x0260
  wait_attached 0
  settle /tmp/lwire.trace
  t=$(ms)
  for verb in list check "update --yes --no-backup"; do out=/tmp/lwire.$$; cli $verb; done
  wire_since /tmp/lwire.trace "$t" >/tmp/wire.linux
  unplug lwire
  wait_detached 0
  wstart_gadget wwire 1 kts260 0x0260
  wait_attached 1
  pnp_add wwire 1
  pnp_sync wwin=0 wwire=1
  settle /tmp/wwire.trace
  t2=$(ms)
  for verb in list check "update --yes --no-backup"; do out=/tmp/wwire.out; wcli $verb; done
  last_rc=$rc
  wire_since /tmp/wwire.trace "$t2" >/tmp/wire.windows
  cmp -s /tmp/wire.linux /tmp/wire.windows
  same=$?
  check win-same-wire "$t" $((same + (last_rc != 0) + ($(grep -c "  3B 0E " /tmp/wire.windows) != 65) + ($(grep -c "  3B 0E " /tmp/wire.linux) != 65))) \
    "$(wc -l </tmp/wire.linux) commands from the Linux CLI, $(wc -l </tmp/wire.windows) from the Windows CLI: $([ $same = 0 ] && echo identical || echo DIFFERENT)"
  if [ $same != 0 ]; then
    diff /tmp/wire.linux /tmp/wire.windows | cut -c1-200 | head -20 | sed 's/^/E2E LOG wire: /'
  fi

  if [ "${E2E_WINE#*,}" != "$E2E_WINE" ]; then
    # The other build (x64) on the adaptor the journey has just updated.
    EXE=/opt/${E2E_WINE#*,}
    out=/tmp/win64.check
    t=$(ms)
    wcli check
    grep -qx "status: Your product is up to date" "$out"
    check win64-check "$t" $(($? + rc)) "${E2E_WINE#*,}: exit $rc: $(grep '^status' "$out")"
    out=/tmp/win64.update
    t=$(ms)
    wcli update --yes --force --no-backup
    writes=$(count_cdb /tmp/wwire.trace "$t" "3B 0E")
    grep -qx "status: Update complete" "$out"
    check win64-update "$t" $(($? + rc + (writes != 65))) "${E2E_WINE#*,}: exit $rc, $writes WRITE BUFFER blocks: $(grep '^status' "$out" | tail -1)"
  fi
  wenv wineserver -k
  echo "E2E PERF win-group-ms $(($(ms) - tg))"
}

wait_report() { # text seconds: until the window's report shows the line
  end=$(($(ms) + $2 * 1000))
  while [ "$(ms)" -lt $end ]; do
    grep -q "^[0-9]* $1\$" $W/tmp/ui.txt 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

win_group
