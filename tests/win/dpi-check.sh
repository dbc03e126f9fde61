#!/usr/bin/env bash
# The windows at 150 % and 200 % of the 96 dpi their forms were drawn at,
# under Wine in a prefix of this check's own (the resolution is a setting of
# the whole prefix): the window tests that lay the forms out and show a long
# firmware path, once at each resolution, leaving their screenshots in
# artifacts/ named after it. Like every Wine process here, they run with the
# serial device guard, and the check fails if anything tried to open a
# serial device of this machine.
#
# Usage: dpi-check.sh WINE_RUN WINE_DIR WINDOW_TESTS
set -euo pipefail
# A display of its own: windows of two Wine prefixes on one display take the
# keyboard and the focus from each other. As large as a screen set to 200 %
# is, so that the dialogs at their scaled places are on it.
if [ "${1:-}" != "--inner" ]; then
  exec xvfb-run -a -s "-screen 0 2048x1536x24 -nolisten tcp" bash "$0" --inner "$@"
fi
shift
wine_run=$1
dir=$2
tests=$3
run() { "$wine_run" --dir "$dir" "$@"; }

rm -f "$dir/guard.log"
run reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 2048x1536 /f >/dev/null
for dpi in 144 192; do
  run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  # Every program of the prefix starts afresh at the new resolution.
  WINEPREFIX=$dir/prefix wineserver --kill 2>/dev/null || true
  WINEPREFIX=$dir/prefix wineserver --wait 2>/dev/null || true
  KPX_TEST_DPI=$dpi run "$tests" \
    --gtest_filter='Win32Windows.EachForm*:Win32Windows.ALongFirmwarePath*'
done
if [ -s "$dir/guard.log" ]; then
  echo "dpi-check: something tried to open a serial device of this machine:" >&2
  cat "$dir/guard.log" >&2
  exit 1
fi
