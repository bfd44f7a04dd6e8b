#!/usr/bin/env bash
# Packs the two builds for viewers, each in a folder of its own that runs where it is unpacked:
#   dist/glow-of-the-snow-win32.zip           glow.exe, data/, README.txt
#   dist/glow-of-the-snow-linux-x86_64.tar.gz glow, data/, README.txt
#   dist/glow-of-the-snow-web.zip             the web page, with GLOW_WEB_BUILD set (see below)
#
#   tools/make-dist.sh WIN_EXE LINUX_BINARY
set -euo pipefail

win_exe=$1
linux_bin=$2
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

w=$stage/glow-of-the-snow-win32
mkdir -p "$w"
cp "$win_exe" "$w/glow.exe"
cp -r "$root/data" "$w/data"
printf '%s\nDouble-click glow.exe. It needs nothing else: one 32-bit program for any Windows\nwith OpenGL.\n' \
  "$controls" | sed 's/$/\r/' >"$w/README.txt"
rm -f "$dist/glow-of-the-snow-win32.zip"
(cd "$stage" && zip -qr -9 "$dist/glow-of-the-snow-win32.zip" glow-of-the-snow-win32)

l=$stage/glow-of-the-snow-linux-x86_64
mkdir -p "$l"
strip -o "$l/glow" "$linux_bin"
cp -r "$root/data" "$l/data"
printf '%s\nRun ./glow in this folder. It uses the system'"'"'s libraries; on Debian 12:\n  sudo apt-get install libsdl2-2.0-0 libmpg123-0 libpng16-16 libopengl0 libgl1 libglx-mesa0 libglu1-mesa libgl1-mesa-dri\n' \
  "$controls" >"$l/README.txt"
tar -czf "$dist/glow-of-the-snow-linux-x86_64.tar.gz" -C "$stage" glow-of-the-snow-linux-x86_64

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
