#!/usr/bin/env bash
# The Windows build's numbers (`make measure-windows`): the sizes of glow.exe and the zip, and
# under Wine on Xvfb the whole demo frame + swap and the start box's answer to the first frame,
# beside the Linux build's window benchmark (which starts an Xvfb of the same size itself).
#
#   tools/wine-measure.sh WIN_BUILD LINUX_BUILD
set -euo pipefail

win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)

echo "glow.exe: $(stat -c %s "$win/glow.exe") bytes"
echo "glow-of-the-snow-win32.zip: $(stat -c %s "$root/dist/glow-of-the-snow-win32.zip") bytes"

export WINEPREFIX=$win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$win/measure-display"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP PIPE  # through the EXIT trap, so nothing is left running
: >"$win/measure-display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$win/measure-display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$win/measure-display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$win/measure-display")

mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wine cmd /c exit >/dev/null 2>&1

echo "--- Windows build, under Wine"
wine "$win/tests/windows/wine_window_bench.exe"
echo "--- Linux build"
(cd "$root" && "$linux/bench/shell/bench_window")
