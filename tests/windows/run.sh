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

root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/wine-session.sh"
start=$(date +%s)
wine_session "$win/wineprefix" "$win/xvfb-display" fresh
echo "wine: fresh prefix in $(( $(date +%s) - start )) s"

(cd "$win" && ctest --output-on-failure -j"$jobs" -L wine)
(cd "$linux" && ctest --output-on-failure -L wine)
