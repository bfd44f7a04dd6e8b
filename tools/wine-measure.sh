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

source "$root/tools/wine-session.sh"
wine_session "$win/wineprefix" "$win/measure-display"

echo "--- Windows build, under Wine"
wine "$win/tests/windows/wine_window_bench.exe"
echo "--- Linux build"
(cd "$root" && "$linux/bench/shell/bench_window")
