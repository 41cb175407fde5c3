#!/usr/bin/env bash
# Lists the resources of the Windows programs (windres reads them back out of the .exe) and fails
# unless each window program carries the seven pictures, the version record 1.0.0.8, the icon and
# the manifest that asks for administrator rights for its own processor, and each command line the
# manifest that runs it with its caller's rights (asInvoker): without one, Windows takes a 32-bit
# program named "...update..." for an installer and demands elevation before it can start.
#   scripts/check-windows-resources.sh BUILD_DIR...
set -euo pipefail
status=0
for dir in "$@"; do
  exe="$dir/app/win32/corvane-update-tool.exe"
  case "$(objdump -f "$exe" 2>/dev/null | sed -n 's/.*file format //p')" in
    pei-i386) windres=i686-w64-mingw32-windres; arch=x86 ;;
    pei-x86-64) windres=x86_64-w64-mingw32-windres; arch=amd64 ;;
    *) echo "check-windows-resources: $exe is missing or not a Windows program" >&2; exit 1 ;;
  esac
  listing="$dir/corvane-update-tool.resources.rc"
  "$windres" -i "$exe" -O rc -o "$listing"
  missing=()
  for name in BACKGROUND LOADING1 LOADING2 LOADING3 GOOD UPDATE CROSS; do
    grep -q "^\"$name\" 2 /\* RT_BITMAP \*/" "$listing" || missing+=("bitmap $name")
  done
  grep -q "^ FILEVERSION 1, 0, 0, 8$" "$listing" || missing+=("file version 1,0,0,8")
  grep -q "^ PRODUCTVERSION 1, 0, 0, 8$" "$listing" || missing+=("product version 1,0,0,8")
  grep -q 'VALUE "FileVersion", "1.0.0.8"' "$listing" || missing+=("FileVersion text")
  grep -q 'VALUE "ProductVersion", "1.0.0.8"' "$listing" || missing+=("ProductVersion text")
  grep -q 'VALUE "Translation", 0x409, 1252' "$listing" || missing+=("translation 0x409/1252")
  grep -q "RT_GROUP_ICON" "$listing" || missing+=("icon")
  grep -q "^1 24 /\* RT_MANIFEST \*/" "$listing" || missing+=("manifest resource")
  grep -q 'name=""RunAsAdmin"" version=""1.0.0.0"" processorArchitecture=""'"$arch"'""' "$listing" ||
    missing+=("assembly RunAsAdmin 1.0.0.0 $arch")
  grep -q 'level=""requireAdministrator"" uiAccess=""false""' "$listing" || missing+=("requireAdministrator")
  # Drawn sharp at the monitor's own DPI rather than stretched by the system (Windows 10 1703 and
  # later read dpiAwareness, older ones dpiAware).
  grep -q '>PerMonitorV2, PerMonitor</dpiAwareness>' "$listing" || missing+=("dpiAwareness PerMonitorV2")
  grep -q '>true/pm</dpiAware>' "$listing" || missing+=("dpiAware true/pm")
  if [ ${#missing[@]} -gt 0 ]; then
    echo "check-windows-resources: $exe lacks: ${missing[*]}" >&2
    status=1
  else
    echo "check-windows-resources: $exe ($arch) carries the 7 bitmaps, the icon, version 1.0.0.8 and the administrator, per-monitor-DPI manifest (listing: $listing)"
  fi
  cli="$dir/app/cli/corvane-update.exe"
  cli_listing="$dir/corvane-update.resources.rc"
  cli_missing=()
  if ! "$windres" -i "$cli" -O rc -o "$cli_listing" 2>/dev/null; then
    cli_missing+=("any resource")
  else
    grep -q "^1 24 /\* RT_MANIFEST \*/" "$cli_listing" || cli_missing+=("manifest resource 1")
    grep -q 'processorArchitecture=""'"$arch"'""' "$cli_listing" || cli_missing+=("manifest for $arch")
    grep -q 'level=""asInvoker"" uiAccess=""false""' "$cli_listing" || cli_missing+=("asInvoker")
    if grep -Eq 'requireAdministrator|highestAvailable' "$cli_listing"; then cli_missing+=("no elevation request"); fi
  fi
  if [ ${#cli_missing[@]} -gt 0 ]; then
    echo "check-windows-resources: $cli lacks: ${cli_missing[*]}" >&2
    status=1
  else
    echo "check-windows-resources: $cli ($arch) carries the asInvoker manifest (listing: $cli_listing)"
  fi
  for program in "$exe" "$cli"; do
    echo "  $(basename "$program"): $(stat -c %s "$program") bytes; DLLs: $(objdump -p "$program" | sed -n 's/.*DLL Name: //p' | tr '\n' ' ')"
  done
done
exit "$status"
