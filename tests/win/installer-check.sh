#!/usr/bin/env bash
# The installer as a technician meets it, under Wine: a silent install into
# a folder of the prefix, what it put where (both programs, the manual and
# its side file, no firmware image, a Start menu shortcut that starts in
# the program's folder), the installed console program running, and an
# uninstall that removes what was installed but keeps a firmware file the
# technician put beside the program.
#
# Usage: installer-check.sh WINE_RUN WINE_DIR SETUP
set -euo pipefail
wine_run=$1
dir=$2
setup=$3
prefix=$dir/prefix
folder='C:\kpx-install-check'
installed=$prefix/drive_c/kpx-install-check

fail() {
  echo "installer-check: $*" >&2
  exit 1
}
run() { "$wine_run" --dir "$dir" "$@"; }

[ -f "$setup" ] || fail "$setup not built"
rm -rf "$installed"
run "$setup" /S "/D=$folder"

expected="KPX Updater.ali|KPX Updater.chm|kpx-update.exe|kpx-updater.exe|uninstall.exe"
found=$(cd "$installed" && find . -mindepth 1 | sed 's|^\./||' | sort | paste -sd '|')
[ "$found" = "$expected" ] || fail "installed: $found; expected: $expected"

shortcut=$(find "$prefix/drive_c/users" -path '*/Start Menu/Programs/M740-RT Updater.lnk' | head -n 1)
[ -n "$shortcut" ] || fail "no Start menu shortcut"
strings -el "$shortcut" | grep -qxF "$folder" || fail "the shortcut does not start in $folder"

run "$installed/kpx-update.exe" --help | grep -q "KPXUpdate517.hex" || fail "the installed console program does not run"

# The uninstaller runs from a copy of itself and returns at once: wait for it.
printf ':00000001FF\r\n' >"$installed/KPXUpdate517.hex"
run "$installed/uninstall.exe" /S
for _ in $(seq 100); do
  [ -e "$installed/uninstall.exe" ] || break
  sleep 0.2
done
left=$(cd "$installed" && find . -mindepth 1 | sed 's|^\./||' | sort | paste -sd '|')
[ "$left" = "KPXUpdate517.hex" ] || fail "left after uninstalling: $left"
[ ! -e "$shortcut" ] || fail "the shortcut outlived the uninstaller"
rm -rf "$installed"
echo "installer-check: installed, ran and uninstalled as expected"
