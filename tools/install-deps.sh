#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the demo need.
# Checks each package first, so a machine that has them all runs no apt-get at all.
set -eu

packages=(
  # build
  g++ make cmake pkg-config
  libsdl2-dev libmpg123-dev libpng-dev libx11-dev
  libgl1-mesa-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  # glow-capture: encoding and muxing (Debian's libavcodec brings x264 and libwebp)
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # tests and benchmarks
  libgtest-dev libbenchmark-dev libtinyobjloader-dev
  xvfb xdotool x11-utils x11-xserver-utils xfonts-base imagemagick
  # asset generators
  lame sox libfreetype-dev fonts-dejavu-core
  # fuzzing and sanitizers
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
if ! command -v apt-get >/dev/null 2>&1; then
  echo "install-deps: apt-get not found; install these packages by hand: ${missing[*]}" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
