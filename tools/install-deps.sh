#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the demo need.
# Checks each package first, so a machine that has them all runs no apt-get at all.
#
#   install-deps.sh            what `make run` needs: the Linux build and its tests
#   install-deps.sh --windows  also the Windows cross-compilers and Wine (`make windows`,
#                              `make test`): 64-bit Wine always; 32-bit Wine only where this
#                              kernel executes 32-bit programs (tools/runs-32bit.sh), and then
#                              it adds the i386 architecture to dpkg once.
#   install-deps.sh --web      also emscripten and chromium (`make web`, `make test`)
# The options combine.
set -eu

windows=0
web=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    --web) web=1 ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
  esac
done

packages=(
  # build
  g++ make cmake pkg-config dpkg-dev
  libsdl2-dev libmpg123-dev libpng-dev libx11-dev
  libgl1-mesa-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  # glow-capture: encoding and muxing (Debian's libavcodec brings x264 and libwebp)
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # tests and benchmarks (stress-ng: loading the machine while the timing tests run)
  libgtest-dev libbenchmark-dev libtinyobjloader-dev
  xvfb xdotool x11-utils x11-xserver-utils xfonts-base imagemagick stress-ng
  # the sound layer against a real sound server: a private daemon, parec to record it
  pulseaudio pulseaudio-utils
  # asset generators
  lame sox libfreetype-dev fonts-dejavu-core
  # fuzzing and sanitizers
  clang libclang-rt-14-dev
)
i386=0
if [ $windows = 1 ]; then
  packages+=(
    # the two Windows cross builds; tools/build-deps.sh unpacks Debian source packages
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
    dpkg-dev patch xz-utils bzip2 zip unzip
    # running the 64-bit program under Wine (Mesa's GL is among the build packages)
    wine64
  )
  # The 32-bit program runs under 32-bit Wine with Mesa's 32-bit GL: about 1.7 GB, and of no
  # use on a kernel that cannot execute 32-bit code.
  if bash "$(dirname "$0")/runs-32bit.sh"; then
    i386=1
    packages+=(wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386)
  fi
fi
if [ $web = 1 ]; then
  packages+=(
    # the browser build (its libraries come from Debian source packages, like the Windows
    # ones) and its tests in headless Chromium
    emscripten patch xz-utils bzip2 zip chromium
  )
fi

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

# Another apt-get or dpkg may be running (another developer's build, an unattended upgrade):
# apt waits for dpkg's lock itself; a held lists lock fails at once, so try again a while.
apt() {
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=120 "$@" && return 0
    sleep 10
  done
  return 1
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
  echo "install-deps: apt-get not found; install these packages by hand: ${missing[*]}" >&2
  exit 1
fi
if [ $i386 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "install-deps: adding the i386 architecture to dpkg (Wine runs the 32-bit glow.exe)"
  "${sudo[@]}" dpkg --add-architecture i386
fi
echo "install-deps: installing ${missing[*]}"
apt update -qq
apt install -y -qq --no-install-recommends "${missing[@]}"
