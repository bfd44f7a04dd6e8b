#!/usr/bin/env bash
# Builds the static libraries a cross build links, for one target triple: libmpg123 and
# libsyn123 (from Debian's mpg123 source package) and libpng (libpng1.6), and for the web page
# also zlib, which emscripten does not bring without downloading it. Each is cached under
# CACHE/<triple>/<package>-<version>/, named by the source version of the Linux build's -dev
# package; when the archive no longer has that version, the newest one it has is built instead
# and source-version in that folder says which.
#
#   tools/build-deps.sh TRIPLE     prints the install prefixes, one a line
#
#   i686-w64-mingw32     the 32-bit Windows program (mingw-w64's posix compilers)
#   x86_64-w64-mingw32   the 64-bit Windows program
#   wasm32-unknown-emscripten   the web page (Debian's emscripten)
#
# CACHE is $GLOW_DEPS_CACHE, or glow-of-the-snow/ in ${XDG_CACHE_HOME:-~/.cache}: outside the
# checkout, so a fresh clone and every CI run on the same machine reuse what was built. Runs
# for the same cache wait for each other. The sources come through a private apt set-up under
# CACHE/apt (its own sources file, lists and cache): its deb-src entries are derived from the
# machine's Debian deb entries, and the system's apt configuration, lists and cache are left as
# they are.
set -euo pipefail

host=${1:?usage: build-deps.sh TRIPLE}
cache=${GLOW_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/glow-of-the-snow}
jobs=$(nproc)
log() { echo "build-deps: $*" >&2; }

case $host in
  i686-w64-mingw32)
    # SSE arithmetic, as the program itself is compiled (cmake/mingw-w64-i686.cmake).
    cflags="-O2 -msse2 -mfpmath=sse" mpg123_cpu=x86 ;;
  x86_64-w64-mingw32)
    cflags="-O2" mpg123_cpu=x86-64 ;;
  wasm32-unknown-emscripten)
    cflags="-O2" mpg123_cpu=generic_fpu ;;
  *) log "unknown target $host"; exit 2 ;;
esac
if [ $host = wasm32-unknown-emscripten ]; then
  command -v emconfigure >/dev/null || { log "emscripten is missing (run tools/install-deps.sh --web)"; exit 1; }
  export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}  # emcc's JavaScript tools need acorn
else
  for tool in $host-gcc-posix $host-g++-posix; do
    command -v $tool >/dev/null || { log "$tool is missing (run tools/install-deps.sh --windows)"; exit 1; }
  done
fi

mkdir -p "$cache/$host"
out=$(cd "$cache" && pwd)
exec 9>"$out/.lock"
flock 9

apt_dir=$out/apt
apt_opts=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/none"
          -o Dir::State="$apt_dir/state" -o Dir::Cache="$apt_dir/cache"
          -o Dir::State::status=/var/lib/dpkg/status -o APT::Sandbox::User=root -qq)
apt_ready=0

# The private source lists: one deb-src line for each suite and component the machine gets
# Debian's binary packages from.
private_apt_update() {
  [ $apt_ready = 1 ] && return 0
  mkdir -p "$apt_dir/none" "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial"
  apt-get indextargets --format 'deb-src $(SITE) $(RELEASE) $(COMPONENT)' \
      'Identifier: Packages' 'Origin: Debian' | sort -u >"$apt_dir/sources.list"
  if [ ! -s "$apt_dir/sources.list" ]; then
    log "no Debian deb entries found in the machine's apt sources"; exit 1
  fi
  apt-get "${apt_opts[@]}" update >&2
  apt_ready=1
}

# The source version of an installed binary package (the Linux build's -dev package), so
# both builds use the same release; the archive's newest when it is not installed.
source_version() {
  local v
  v=$(dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || true)
  if [ -z "$v" ]; then
    private_apt_update
    v=$(apt-cache "${apt_opts[@]}" showsrc "$2" | sed -n 's/^Version: //p' | sort -V | tail -1)
  fi
  echo "$v"
}

# Downloads SRC=VERSION and unpacks it with its Debian patches into DIR. apt checks each file
# against the signed index as it arrives; the upstream signature file (.asc) is optional and
# some mirrors lack it, so a failed run is accepted when every other file is there with the
# index's SHA256.
fetch_source() {
  local src=$1 ver=$2 dir=$3 dl=$out/download/$1-$2
  private_apt_update
  mkdir -p "$dl"
  local try uris ok=0
  for try in "$ver" $(apt-cache "${apt_opts[@]}" showsrc "$src" | sed -n 's/^Version: //p' |
                      sort -rVu | grep -vx "$ver"); do
    [ "$try" = "$ver" ] || log "$src $ver could not be had; trying $try"
    rm -f "$dl"/*
    uris=$(cd "$dl" && apt-get "${apt_opts[@]}" source --print-uris "$src=$try" 2>/dev/null |
           grep "^'") || continue
    (cd "$dl" && apt-get "${apt_opts[@]}" source --download-only "$src=$try" >/dev/null 2>&1) || true
    ok=1
    local uri file size hash
    while read -r uri file size hash; do
      case "$file" in *.asc) continue ;; esac
      [ "$(sha256sum "$dl/$file" 2>/dev/null | cut -d' ' -f1)" = "${hash#SHA256:}" ] || ok=0
    done <<<"$uris"
    [ $ok = 1 ] && break
  done
  [ $ok = 1 ] || { log "could not download any version of $src"; exit 1; }
  fetched_version=$try
  rm -rf "$dir" && mkdir -p "$dir"
  tar -xf "$(ls "$dl"/*.orig.tar.* | grep -v '\.asc$' | head -1)" -C "$dir" --strip-components=1
  tar -xf "$(ls "$dl"/*.debian.tar.*)" -C "$dir"
  if [ -f "$dir/debian/patches/series" ]; then
    local name opt
    while read -r name opt; do
      case "$name" in ''|'#'*) continue ;; esac
      patch -d "$dir" -s -N ${opt:--p1} <"$dir/debian/patches/$name" >&2
    done <"$dir/debian/patches/series"
  fi
}

# How configure and make run for the target, and where its zlib is. emscripten wraps both
# in its own tools; its configure takes wasm32 for a host (the whole triple is refused), and
# its zlib is the one built here first.
if [ $host = wasm32-unknown-emscripten ]; then
  configure=(env CFLAGS="$cflags" emconfigure ./configure --host=wasm32)
  make_cmd=(emmake make)
  zlib=""  # set once zlib is built
else
  configure=(env CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib
             CFLAGS="$cflags" PKG_CONFIG_LIBDIR=/usr/$host/lib/pkgconfig ./configure --host=$host)
  make_cmd=(make)
  zlib=/usr/$host
fi

build_zlib() {
  local prefix=$1 src=$2
  (cd "$src" && CFLAGS="$cflags" emconfigure ./configure --static --prefix="$prefix" >&2 &&
   "${make_cmd[@]}" -j"$jobs" libz.a >&2 &&
   mkdir -p "$prefix/lib/pkgconfig" "$prefix/include" && cp libz.a "$prefix/lib/" &&
   cp zlib.h zconf.h "$prefix/include/" && cp zlib.pc "$prefix/lib/pkgconfig/")
}

build_mpg123() {
  local prefix=$1 src=$2
  (cd "$src" && "${configure[@]}" --prefix="$prefix" \
      --enable-static --disable-shared --with-cpu=$mpg123_cpu --disable-modules --with-audio=dummy \
      --enable-network=no >&2 &&
   "${make_cmd[@]}" -j"$jobs" src/libmpg123/libmpg123.la src/libsyn123/libsyn123.la >&2 &&
   mkdir -p "$prefix/lib/pkgconfig" "$prefix/include" &&
   cp src/libmpg123/.libs/libmpg123.a src/libsyn123/.libs/libsyn123.a "$prefix/lib/" &&
   cp src/libmpg123/mpg123.h src/libmpg123/fmt123.h src/libsyn123/syn123.h "$prefix/include/" &&
   cp libmpg123.pc libsyn123.pc "$prefix/lib/pkgconfig/")
}

build_libpng() {
  local prefix=$1 src=$2
  (cd "$src" && CPPFLAGS=-I$zlib/include LDFLAGS=-L$zlib/lib \
      "${configure[@]}" --prefix="$prefix" --enable-static --disable-shared >&2 &&
   "${make_cmd[@]}" -j"$jobs" libpng16.la >&2 &&
   "${make_cmd[@]}" install-libLTLIBRARIES install-pkgincludeHEADERS install-nodist_pkgincludeHEADERS \
        install-pkgconfigDATA install-header-links install-library-links >&2)
}

# package binary-package build-function
entries=("mpg123 libmpg123-dev build_mpg123" "libpng1.6 libpng-dev build_libpng")
[ $host = wasm32-unknown-emscripten ] && entries=("zlib zlib1g-dev build_zlib" "${entries[@]}")
for entry in "${entries[@]}"; do
  read -r src bin build <<<"$entry"
  ver=$(source_version "$bin" "$src")
  [ -n "$ver" ] || { log "no version of $src found"; exit 1; }
  prefix=$out/$host/$src-${ver//:/_}  # an epoch's colon would split search paths
  if [ ! -f "$prefix/.built" ]; then
    log "building $src $ver for $host"
    rm -rf "$prefix"
    work=$out/src/$host-$src-$ver
    fetch_source "$src" "$ver" "$work"
    $build "$prefix" "$work"
    echo "$src $fetched_version" >"$prefix/source-version"
    touch "$prefix/.built"
    rm -rf "$work"
  fi
  [ $src = zlib ] && zlib=$prefix
  echo "$prefix"
done
