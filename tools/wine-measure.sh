#!/usr/bin/env bash
# The Windows programs' numbers (`make measure-windows`): the sizes of each glow.exe and of
# every bundle, and under Wine on Xvfb the whole demo frame + swap and the start box's answer to
# the first frame for each program this machine can run, beside the Linux build's window
# benchmark (which starts an Xvfb of the same size itself), all in one run.
#
#   tools/wine-measure.sh LINUX_BUILD WIN_BUILD...
set -euo pipefail

linux=$(cd "$1" && pwd)
shift
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/wine-session.sh"

for win in "$@"; do echo "$win/glow.exe: $(stat -c %s "$win/glow.exe") bytes"; done
for bundle in "$root"/dist/*; do echo "$(basename "$bundle"): $(stat -c %s "$bundle") bytes"; done

# ALSA's null device behind waveOut: the music plays as on a sound card, and the system's ALSA
# set-up (which may want plugins the other architecture lacks) stays out of it.
alsa_conf=$(mktemp)
trap 'rm -f "$alsa_conf"' EXIT
echo 'pcm.!default { type null }' >"$alsa_conf"
export ALSA_CONFIG_PATH=$alsa_conf

for win in "$@"; do
  win=$(cd "$win" && pwd)
  loader=$(wine_loader "$win/glow.exe")
  if [ "$loader" = /usr/lib/wine/wine ] && ! bash "$root/tools/runs-32bit.sh"; then
    echo "--- $win: not run (this kernel executes no 32-bit programs)"
    continue
  fi
  echo "--- $win/glow.exe's shell, under $(basename "$loader")"
  (wine_session "$win/wineprefix" "$win/measure-display" "$loader" &&
     "$loader" "$win/tests/windows/wine_window_bench.exe")
done
echo "--- Linux build"
(cd "$root" && "$linux/bench/shell/bench_window")
