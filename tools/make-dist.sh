#!/usr/bin/env bash
# Packs the builds for viewers, each in a folder of its own that runs where it is unpacked:
#   dist/glow-of-the-snow-linux-x86_64.tar.gz glow, data/, README.txt
#   dist/glow-of-the-snow-win64.zip           glow.exe (64-bit), data/, README.txt
#   dist/glow-of-the-snow-win32.zip           glow.exe (32-bit), data/, README.txt
#
#   tools/make-dist.sh LINUX_BINARY [WIN_EXE...]    (each zip is named by its exe's architecture)
set -euo pipefail

linux_bin=$1
shift
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$root/dist
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

controls='glow of the snow - a real-time OpenGL demo with music.

Start it from its own folder (it reads data/ from there). The first question:
Yes runs full screen at 640x480 (where the display offers that mode; otherwise it
offers to run in a window), No runs in a 640x480 window.

Keys:
  Escape        quit (closing the window quits too)
  F1            re-create the window in the other mode (full screen / windowed)
  L             lighting on / off
  Up / Down     next / previous track
  Right / Left  seek the music forward / back (the picture follows)
'

mkdir -p "$dist"

# The Debian packages of the libraries the binary links, from the binary itself (as a Debian
# package's dependencies are found), first alternative of each, without versions.
linked_packages() {
  local work=$stage/shlibdeps
  mkdir -p "$work/debian"
  printf 'Source: glow\n\nPackage: glow\nArchitecture: any\n' >"$work/debian/control"
  (cd "$work" && dpkg-shlibdeps -O "$1" 2>/dev/null) | sed -n 's/^shlibs:Depends=//p' |
    tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/ //g' | grep -v '^$'
}

l=$stage/glow-of-the-snow-linux-x86_64
mkdir -p "$l"
strip -o "$l/glow" "$linux_bin"
cp -r "$root/data" "$l/data"
packages=$(linked_packages "$(cd "$(dirname "$linux_bin")" && pwd)/$(basename "$linux_bin")" |
           paste -sd' ')
[ -n "$packages" ] || { echo "make-dist: could not find the packages $linux_bin uses" >&2; exit 1; }
# SDL loads the GL library and Mesa's driver at run time; they are not linked.
printf '%s\nRun ./glow in this folder. It uses the system'"'"'s libraries; on Debian 12:\n  sudo apt-get install %s libgl1 libglx-mesa0 libgl1-mesa-dri\n' \
  "$controls" "$packages" >"$l/README.txt"
rm -f "$dist/glow-of-the-snow-linux-x86_64.tar.gz"
tar -czf "$dist/glow-of-the-snow-linux-x86_64.tar.gz" -C "$stage" glow-of-the-snow-linux-x86_64

for win_exe in "$@"; do
  case "$(objdump -f "$win_exe" | sed -n 's/.*file format //p')" in
    pei-i386) bits=32 which='any Windows, 32-bit or 64-bit,' ;;
    pei-x86-64) bits=64 which='64-bit Windows (x64)' ;;
    *) echo "make-dist: $win_exe is not a Windows program" >&2; exit 1 ;;
  esac
  name=glow-of-the-snow-win$bits
  w=$stage/$name
  mkdir -p "$w"
  cp "$win_exe" "$w/glow.exe"
  cp -r "$root/data" "$w/data"
  printf '%s\nThis is the %s-bit program, for %s with OpenGL.\nDouble-click glow.exe. It needs nothing else.\n' \
    "$controls" "$bits" "$which" | sed 's/$/\r/' >"$w/README.txt"
  rm -f "$dist/$name.zip"
  (cd "$stage" && zip -qr -9 "$dist/$name.zip" "$name")
done

ls -l "$dist"
