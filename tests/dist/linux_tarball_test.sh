#!/usr/bin/env bash
# The Linux tarball as a user gets it: unpacked into an empty folder, its README's install
# line names the Debian package of every library the binary links directly, so a user who
# follows it gets no loader error. Each library is found as the loader finds it (ldd) and
# owned by dpkg's record, not by the list the tarball was made with.
#
#   linux_tarball_test.sh TARBALL
set -euo pipefail

tarball=$1
[ -f "$tarball" ] || { echo "FAIL: $tarball is missing (make dist)"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
tar -xzf "$tarball" -C "$dir"
top=$dir/glow-of-the-snow-linux-x86_64
for f in glow README.txt data/music/track.mp3 data/3d/tomte.obj data/textures/font.png; do
  [ -e "$top/$f" ] || { echo "FAIL: the tarball has no $f"; exit 1; }
done

named=" $(sed -n 's/.*apt-get install //p' "$top/README.txt" | tr -s ' ') "
[ "$named" != "  " ] || { echo "FAIL: README.txt has no apt-get install line"; exit 1; }

status=0
needed=$(objdump -p "$top/glow" | sed -n 's/^ *NEEDED *//p')
[ -n "$needed" ] || { echo "FAIL: objdump found no linked libraries in glow"; exit 1; }
for lib in $needed; do
  path=$(ldd "$top/glow" | awk -v l="$lib" '$1 == l { print $3 }')
  [ -n "$path" ] && [ -e "$path" ] || { echo "FAIL: $lib is not installed here"; status=1; continue; }
  owner=
  for p in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr${path}"; do
    owner=$(dpkg -S "$p" 2>/dev/null | head -1 | cut -d: -f1) && [ -n "$owner" ] && break
  done
  if [ -z "$owner" ]; then
    echo "FAIL: no Debian package owns $path ($lib)"; status=1
  elif [[ $named != *" $owner "* ]]; then
    echo "FAIL: $lib comes from $owner, which README.txt does not name"; status=1
  else
    echo "ok: $lib from $owner"
  fi
done
exit $status
