#!/usr/bin/env bash
# Packs the builds for viewers, each in a folder of its own that runs where it is unpacked:
#   dist/glow-of-the-snow-linux-x86_64.tar.gz glow, data/, README.txt
#   dist/glow-of-the-snow-win64.zip           glow.exe (64-bit), data/, README.txt
#   dist/glow-of-the-snow-win32.zip           glow.exe (32-bit), data/, README.txt
#   dist/glow-of-the-snow-web.zip             the web page, with GLOW_WEB_BUILD set (see below)
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

# The web page, when GLOW_WEB_BUILD names its build folder (make web): static files that any
# web server can host.
if [ -n "${GLOW_WEB_BUILD:-}" ]; then
  wp=$stage/glow-of-the-snow-web
  mkdir -p "$wp"
  cp "$GLOW_WEB_BUILD"/index.html "$GLOW_WEB_BUILD"/glow.js "$GLOW_WEB_BUILD"/glow.wasm \
     "$GLOW_WEB_BUILD"/glow.data "$wp/"
  cat >"$wp/README.txt" <<'TEXT'
glow of the snow - a real-time OpenGL demo with music, as a web page.

Put these four files on any web server and open index.html; a browser with WebGL 2 plays
it. (Opened straight from the disk it does not start: browsers fetch its parts only over
HTTP.) To watch it on your own machine:
  python3 -m http.server --bind 127.0.0.1 --directory glow-of-the-snow-web 8000
then open http://127.0.0.1:8000/

The first question: Yes asks the browser for full screen, No plays in the page. That
click also lets the music start.

Keys:
  Escape        stop (click the picture to start again); in full screen, Escape only
                leaves full screen: the browser keeps that key for itself
  F1            full screen on / off
  L             lighting on / off
  Up / Down     next / previous track
  Right / Left  seek the music forward / back (the picture follows)
TEXT
  rm -f "$dist/glow-of-the-snow-web.zip"
  (cd "$stage" && zip -qr -9 "$dist/glow-of-the-snow-web.zip" glow-of-the-snow-web)
fi

ls -l "$dist"
