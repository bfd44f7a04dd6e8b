#!/usr/bin/env bash
# Runs the Windows build's tests under Wine on a private Xvfb, in a fresh Wine prefix of this
# run's own (WIN_BUILD/wineprefix): the cross-compiled tests through the cross build's CTest,
# then the Linux build's tests that drive glow.exe and compare the two builds' frames.
#
#   tests/windows/run.sh WIN_BUILD LINUX_BUILD [JOBS]
set -euo pipefail

win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
jobs=${3:-2}

export WINEPREFIX=$win/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko: nothing here uses .NET or HTML, and the prefix would ask to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$win/xvfb-display"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP PIPE  # through the EXIT trap, so nothing is left running

# The display for the cross-compiled tests (pngBind and the demo on a hidden WGL window).
: >"$win/xvfb-display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$win/xvfb-display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$win/xvfb-display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$win/xvfb-display")

start=$(date +%s)
rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
# One server for the whole batch, kept running between programs (its output would hold the
# caller's stdout open), then the prefix made and the server warmed up.
wineserver -p >/dev/null 2>&1
wineboot -i >/dev/null 2>&1
wine cmd /c exit >/dev/null 2>&1
echo "wine: fresh prefix in $(( $(date +%s) - start )) s"

(cd "$win" && ctest --output-on-failure -j"$jobs" -L wine)
(cd "$linux" && ctest --output-on-failure -L wine)
