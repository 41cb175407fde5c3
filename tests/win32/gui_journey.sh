#!/usr/bin/env bash
# The GUI journey of the Win32 window under Wine, in one Xvfb session:
#   demo (--simulate kts260): the offer on screen -> a real mouse click on the status line ->
#   "Updating" with the progress bar -> "Update complete" -> three WM_DEVICECHANGE 0x0007 posted
#   100 ms apart give exactly one rescan about 500 ms after the last -> F5 unplugs the virtual
#   adaptor and F5 plugs it back in (the keyboard, through the window); then the real backend on
#   Wine's empty disk list shows "Cannot find any supported Corvane devices.".
# Then on small screens (Wine virtual desktops with a taskbar, which are the screen to the programs
# in them): 1366 x 768, where the window must fit above the taskbar, what a screen reader reads of
# the status line is read back through the accessibility calls, and the update runs from the
# keyboard alone (Tab, Return); 1280 x 720 at 96 and at 144 dpi (the DPI set in the prefix), where
# the whole window and the status line must lie inside the work area.
# Each state is saved as a PNG of the client area for people to compare with the Qt window's
# screenshots.
#
#   gui_journey.sh PROGRAM.exe HELPER.exe SCREENSHOT_DIR
#
# Inside a session (CORVANE_WINE_SESSION, DISPLAY and WINEPREFIX set, as scripts/wine-session.sh
# exports them) it uses that one; otherwise it starts its own Xvfb and a fresh prefix and removes
# them at the end. Every step is bounded in time; any failure, including a program that Wine could
# not start, ends the script with a non-zero code.
set -uo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 PROGRAM.exe HELPER.exe SCREENSHOT_DIR" >&2
  exit 2
fi
program=$(readlink -f "$1")
helper=$(readlink -f "$2")
shots=$3
mkdir -p "$shots"
shots=$(readlink -f "$shots")
for tool in Xvfb wine wineboot wineserver xdotool xwd xdpyinfo timeout; do
  command -v "$tool" >/dev/null || { echo "gui_journey: $tool is missing" >&2; exit 2; }
done
# The real ImageMagick (a "convert" earlier on the PATH may be a wrapper).
magick=$(command -v convert-im6.q16 || command -v magick || command -v convert) || { echo "gui_journey: ImageMagick is missing" >&2; exit 2; }
[ -f "$program" ] && [ -f "$helper" ] || { echo "gui_journey: $program or $helper does not exist" >&2; exit 2; }

work=$(mktemp -d -t corvane-journey.XXXXXX)
own_session=0
xvfb_pid=""
app_pid=""
desk=""             # the virtual desktop ("shell,WxH") the program runs in; empty: Wine's own
desktop_changed=0   # a virtual desktop ran or the DPI was set: the session's desktop is put back
fail() {
  echo "gui_journey: FAILED: $*" >&2
  for f in "$work"/report-*.txt; do [ -f "$f" ] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }; done
  exit 1
}
# A Wine virtual desktop leaves the session's own desktop believing the screen has the virtual
# desktop's size (windows are then kept within it), and the DPI lives in the prefix: the DPI is
# taken out again and the wineserver started afresh, so the tests after this one see the session
# as it was. The first program after the restart starts Wine's services; its output goes nowhere,
# so no later capture of a program's output waits for them.
restore_desktop() {
  [ "$desktop_changed" = 1 ] || return 0
  desktop_changed=0
  timeout 60 wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1
  timeout 30 wineserver -k 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null
  if [ "$own_session" = 0 ]; then
    # Neither the server nor the services may hold this script's output open: whoever runs the
    # script (ctest) waits for it to close.
    timeout 30 wineserver -p >/dev/null 2>&1
    timeout 60 wine reg query 'HKCU\Control Panel\Desktop' /v LogPixels >/dev/null 2>&1
  fi
  return 0
}
cleanup() {
  local rc=$?
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  restore_desktop
  if [ "$own_session" = 1 ]; then
    timeout 30 wineserver -k 2>/dev/null
    timeout 30 wineserver -w 2>/dev/null
    [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; }
    rm -rf "$WINEPREFIX"
  fi
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -n "${CORVANE_WINE_SESSION:-}" ] && [ -n "${DISPLAY:-}" ] && [ -n "${WINEPREFIX:-}" ]; then
  echo "gui_journey: in the session on $DISPLAY"
else
  own_session=1
  unset DISPLAY
  for n in $(seq 57 120); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      if timeout 5 xdpyinfo -display ":$n" >/dev/null 2>&1; then export DISPLAY=":$n"; break 2; fi
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=""
  done
  [ -n "${DISPLAY:-}" ] || fail "no free display for Xvfb"
  export WINEPREFIX
  WINEPREFIX=$(mktemp -d -t corvane-journey-wine.XXXXXX)
  export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  timeout 300 wineboot -i >/dev/null 2>&1 || fail "wineboot -i"
  timeout 120 wineserver -w
  timeout 30 wineserver -p
  # Plain X11 frames: window closes do not stall and the frame is Wine's own, of known size.
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || fail "reg add Managed=N"
  echo "gui_journey: own session on $DISPLAY"
fi
export WINEDEBUG=-all

now_ms() { date +%s%3N; }

# start NAME ARGS...: runs the program with its report file $work/report-NAME.txt, in the virtual
# desktop $desk when one is set
start() {
  local name=$1
  shift
  report="$work/report-$name.txt"
  if [ -n "$desk" ]; then
    desktop_changed=1
    CORVANE_UI_REPORT="$report" timeout 300 wine explorer "/desktop=$desk" "$program" "$@" >"$work/out-$name.txt" 2>&1 &
  else
    CORVANE_UI_REPORT="$report" timeout 300 wine "$program" "$@" >"$work/out-$name.txt" 2>&1 &
  fi
  app_pid=$!
}

# The helper, on the program's desktop (a window is found only from its own desktop).
ask() {
  if [ -n "$desk" ]; then
    timeout 30 wine "$helper" --desktop "${desk%%,*}" "$@"
  else
    timeout 30 wine "$helper" "$@"
  fi
}

# wait_for PATTERN SECONDS: until a line of the report matches (grep -E)
wait_for() {
  local pattern=$1 limit=$2 start_ms
  start_ms=$(now_ms)
  while [ $(( $(now_ms) - start_ms )) -lt $((limit * 1000)) ]; do
    grep -Eq -- "$pattern" "$report" 2>/dev/null && return 0
    kill -0 "$app_pid" 2>/dev/null || { grep -Eq -- "$pattern" "$report" 2>/dev/null && return 0; fail "the program ended before '$pattern'"; }
    sleep 0.05
  done
  fail "no '$pattern' within $limit s"
}

# The client area in screen pixels, from the window itself (in a virtual desktop: in the desktop's
# pixels, which the screenshot moves by where the desktop's X window lies).
locate() {
  located=$(ask window 20000 2>&1 | tr -d '\r') || fail "the helper found no window: $located"
  read -r _ client_w client_h <<<"$(grep '^client ' <<<"$located")"
  read -r _ origin_x origin_y <<<"$(grep '^clientorigin ' <<<"$located")"
  read -r _ status_x status_y <<<"$(grep '^status ' <<<"$located")"
  [ -n "${status_x:-}" ] || fail "the helper did not find the status line: $located"
  desk_x=0
  desk_y=0
  if [ -n "$desk" ]; then
    local geometry
    geometry=$(timeout 10 xdotool search --name ' - Wine desktop$' getwindowgeometry --shell 2>/dev/null) || fail "no Wine desktop window on the display"
    desk_x=$(sed -n 's/^X=//p' <<<"$geometry" | head -n1)
    desk_y=$(sed -n 's/^Y=//p' <<<"$geometry" | head -n1)
  fi
}

# The whole window (frame and title bar) and the status line inside the work area of the
# window's monitor, and the client area as large as the window said it fitted it.
check_fits() {
  local expect_work=$1 expect_dpi=$2 fl ft fr fb wl wt wr wb sl st sr sb fit_w fit_h fit_dpi
  read -r _ fl ft fr fb <<<"$(grep '^frame ' <<<"$located")"
  read -r _ wl wt wr wb <<<"$(grep '^workarea ' <<<"$located")"
  read -r _ sl st sr sb <<<"$(grep '^statusrect ' <<<"$located")"
  [ -n "${wb:-}" ] && [ -n "${sb:-}" ] && [ -n "${fb:-}" ] || fail "the helper gave no rectangles: $located"
  [ "$((wr - wl))" = "${expect_work%x*}" ] || fail "work area $wl,$wt..$wr,$wb is not ${expect_work%x*} wide"
  [ "$fl" -ge "$wl" ] && [ "$ft" -ge "$wt" ] && [ "$fr" -le "$wr" ] && [ "$fb" -le "$wb" ] ||
    fail "the window $fl,$ft..$fr,$fb is not inside the work area $wl,$wt..$wr,$wb"
  [ "$sl" -ge "$wl" ] && [ "$st" -ge "$wt" ] && [ "$sr" -le "$wr" ] && [ "$sb" -le "$wb" ] ||
    fail "the status line $sl,$st..$sr,$sb is not inside the work area $wl,$wt..$wr,$wb"
  read -r fit_w fit_h fit_dpi <<<"$(sed -n 's/^[0-9]* fit \([0-9]*\)x\([0-9]*\) at [-0-9]*,[-0-9]*, \([0-9]*\) dpi.*/\1 \2 \3/p' "$report" | tail -n1)"
  [ "${fit_w:-}x${fit_h:-}" = "${client_w}x${client_h}" ] || fail "client area ${client_w}x${client_h}, the window fitted ${fit_w:-?}x${fit_h:-?}"
  [ "${fit_dpi:-}" = "$expect_dpi" ] || fail "the window was fitted for ${fit_dpi:-?} dpi, expected $expect_dpi"
  echo "gui_journey: work area $wl,$wt..$wr,$wb at $expect_dpi dpi: window $fl,$ft..$fr,$fb, client ${client_w}x${client_h}, status line $sl,$st..$sr,$sb"
}

# What a screen reader reads of the status line, through the accessibility calls of the system.
read_status() {
  status_read=$(ask accessible 2>&1 | tr -d '\r') || fail "no accessible object for the status line: $status_read"
}

shot() {
  timeout 30 xwd -root -silent |
    timeout 30 "$magick" xwd:- -crop "${client_w}x${client_h}+$((origin_x + desk_x))+$((origin_y + desk_y))" +repage "$shots/$1.png" \
    || fail "screenshot $1"
  echo "gui_journey: saved $shots/$1.png"
}

finish() {
  ask close >/dev/null 2>&1 || fail "could not close the window"
  local waited=0
  while kill -0 "$app_pid" 2>/dev/null; do
    sleep 0.1
    waited=$((waited + 1))
    [ "$waited" -lt 300 ] || fail "the program did not end within 30 s of WM_CLOSE"
  done
  wait "$app_pid"
  local rc=$?
  app_pid=""
  [ "$rc" -eq 0 ] || fail "the program ended with exit code $rc"
}

offer="Click here to download and update the Corvane NVMe Bridge 234.01.00.01"

# 1. Demo on the NVMe adaptor.
start demo --simulate kts260
wait_for '^[0-9]+ shown ' 120
[ -s "$report" ] || fail "no report: the program did not start"
wait_for "^[0-9]+ status $offer\$" 30
locate
[ "$client_w" = 997 ] && [ "$client_h" = 756 ] || fail "client area ${client_w}x${client_h}, expected 997x756"
echo "gui_journey: client area 997 x 756 at $origin_x,$origin_y; status line centre $status_x,$status_y"
sleep 0.5  # let the first paint reach the screen
shot win32-01-update-offered

# 2. The real mouse, on the status line.
timeout 10 xdotool mousemove "$status_x" "$status_y" || fail "xdotool mousemove"
sleep 0.2
timeout 10 xdotool click 1 || fail "xdotool click"
wait_for '^[0-9]+ status Updating$' 20
wait_for '^[0-9]+ visible UpdateProgressBar 1$' 20
wait_for '^[0-9]+ progress ([4-9][0-9]|100)$' 60
shot win32-02-updating
wait_for '^[0-9]+ status Update complete$' 120
grep -q '^[0-9]* visible UpdateProgressBar 0$' "$report" || fail "the progress bar stayed visible"
sleep 0.3
shot win32-03-update-complete

# 3. Three node-change notifications 100 ms apart: one rescan, about 500 ms after the last.
scans_before=$(grep -c '^[0-9]* status Looking for Corvane adaptor$' "$report")
timeout 30 wine "$helper" devchange 0x0007 3 100 || fail "the helper could not post WM_DEVICECHANGE"
sleep 2.5
mapfile -t events < <(awk '$2 == "devicechange" {print $1}' "$report")
[ "${#events[@]}" -eq 3 ] || fail "the window saw ${#events[@]} device-change messages, expected 3"
mapfile -t scans < <(awk '$2 == "status" && $0 ~ / status Looking for Corvane adaptor$/ {print $1}' "$report")
rescans=$(( ${#scans[@]} - scans_before ))
[ "$rescans" -eq 1 ] || fail "$rescans rescans after the notifications, expected exactly 1"
delay=$(( scans[${#scans[@]} - 1] - events[2] ))
echo "gui_journey: notifications at ${events[*]} ms, rescan at ${scans[${#scans[@]} - 1]} ms: $delay ms after the last"
# SetTimer's 500 ms plus the tick granularity and the load of a shared machine.
[ "$delay" -ge 480 ] && [ "$delay" -le 1000 ] || fail "the rescan came $delay ms after the last notification"
wait_for '^[0-9]+ status Your product is up to date$' 20
sleep 0.3
shot win32-04-rescanned-up-to-date

# 4. The demo's keys: F5 unplugs the virtual adaptor, F5 again plugs it back in.
timeout 10 xdotool mousemove "$status_x" "$status_y" click 1 || fail "xdotool click to focus"
timeout 10 xdotool key F5 || fail "xdotool key F5"
wait_for '^[0-9]+ devicechange 0x8004$' 10
wait_for '^[0-9]+ status Cannot find any supported Corvane devices\.$' 20
timeout 10 xdotool key F5 || fail "xdotool key F5"
sleep 1.5
tail -n 1 <(grep ' status ' "$report") | grep -q ' status Your product is up to date$' || fail "F5 did not plug the adaptor back in"
finish

# 5. The real backend on Wine's own disk list, which holds no adaptor.
start real
wait_for '^[0-9]+ shown ' 120
wait_for '^[0-9]+ status Cannot find any supported Corvane devices\.$' 30
locate
sleep 0.5
shot win32-05-real-no-device
finish

# 6. A 1366 x 768 screen with a taskbar: the window fits above it; a screen reader finds a push
#    button (role 43) named by the offer; Tab and Return alone run the update.
desk=shell,1366x768
export CORVANE_DEMO_PACE_MS=0  # the paced run was watched above; these need only its end
start small-1366 --simulate kts210
wait_for '^[0-9]+ shown ' 120
wait_for "^[0-9]+ status Click here to download and update the Corvane SATA Bridge 02\.14\$" 30
locate
check_fits 1366x768 96
read_status
grep -qx 'role 43' <<<"$status_read" || fail "the status line is no push button to a screen reader: $status_read"
grep -qx 'name Click here to download and update the Corvane SATA Bridge 02.14' <<<"$status_read" ||
  fail "the status line's accessible name is not its text: $status_read"
state=$(sed -n 's/^state //p' <<<"$status_read")
[ $((state & 0x100000)) -ne 0 ] && [ $((state & 0x1)) -eq 0 ] || fail "the offer is not focusable, or unavailable: $status_read"
echo "gui_journey: a screen reader reads: $(tr '\n' ';' <<<"$status_read")"
sleep 0.5
shot win32-06-1366x768-update-offered
# A click on the window's background (not the status line) makes it the active window, as a
# user's would; the keyboard does the rest.
timeout 10 xdotool mousemove "$((origin_x + desk_x + 10))" "$((origin_y + desk_y + 10))" click 1 ||
  fail "xdotool click on the background"
sleep 0.3
timeout 10 xdotool key Tab || fail "xdotool key Tab"
sleep 0.3
timeout 10 xdotool key Return || fail "xdotool key Return"
wait_for '^[0-9]+ status Updating$' 20
wait_for '^[0-9]+ status Update complete$' 120
[ "$(grep -c '^[0-9]* status Updating$' "$report")" = 1 ] || fail "the keyboard started more than one update"
read_status
state=$(sed -n 's/^state //p' <<<"$status_read")
[ $((state & 0x1)) -ne 0 ] || fail "the finished status line is not unavailable to a screen reader: $status_read"
sleep 0.3
shot win32-07-1366x768-update-complete
finish

# 7. A 1280 x 720 screen with a taskbar, at 96 and at 144 dpi.
desk=shell,1280x720
for dpi in 96 144; do
  if [ "$dpi" != 96 ]; then
    desktop_changed=1
    timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 || fail "could not set the DPI"
  fi
  start "small-1280-$dpi" --simulate kts260
  wait_for '^[0-9]+ shown ' 120
  wait_for "^[0-9]+ status $offer\$" 30
  locate
  check_fits 1280x720 "$dpi"
  sleep 0.5
  shot "win32-0$((dpi == 96 ? 8 : 9))-1280x720-${dpi}dpi-update-offered"
  finish
done
desk=""
restore_desktop

echo "gui_journey: passed"
