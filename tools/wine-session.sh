# Sourced by the scripts that run a Windows build under Wine (tests/windows/run.sh,
# tools/wine-measure.sh): a private Xvfb and the caller's Wine prefix with one persistent,
# warmed-up wineserver, both ended when the calling script exits or is interrupted.
#
#   source tools/wine-session.sh
#   wine_loader EXE                              # the Wine loader for that exe's architecture
#   wine_session PREFIX DISPLAY_FILE LOADER [fresh]    # fresh: make the prefix anew
#
# The loader is named directly (/usr/lib/wine/wine64 for a 64-bit exe): Debian's `wine` and
# `wineboot` pick the 32-bit loader whenever it is installed, even where the kernel cannot run
# it. The server script beside the loaders starts the 64-bit server when there is one.

wine_server=/usr/lib/wine/wineserver

wine_loader() {
  case "$(objdump -f "$1" 2>/dev/null | sed -n 's/.*file format //p')" in
    pei-x86-64) echo /usr/lib/wine/wine64 ;;
    pei-i386) echo /usr/lib/wine/wine ;;
    *) echo "wine-session: $1 is not a Windows program" >&2; return 1 ;;
  esac
}

wine_session() {
  local prefix=$1 loader=$3 fresh=${4:-}
  _wine_display_file=$2
  _wine_xvfb_pid=
  export WINEPREFIX=$prefix WINEDEBUG=-all WINELOADER=$loader
  case $loader in *64) export WINEARCH=win64 ;; *) export WINEARCH=win32 ;; esac
  # No Mono or Gecko: nothing here uses .NET or HTML, and the prefix would ask to download them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  trap _wine_session_end EXIT
  trap "exit 1" INT TERM HUP PIPE  # through the EXIT trap, so nothing is left running

  if [ ! -x "$loader" ]; then
    echo "wine-session: Wine cannot start: $loader is missing (tools/install-deps.sh --windows)" >&2
    return 1
  fi
  : >"$_wine_display_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$_wine_display_file" >/dev/null 2>&1 &
  _wine_xvfb_pid=$!
  for _ in $(seq 600); do [ -s "$_wine_display_file" ] && break; sleep 0.1; done
  if [ ! -s "$_wine_display_file" ]; then
    echo "wine-session: Wine cannot start: no X server (Xvfb did not come up in 60 s)" >&2
    return 1
  fi
  export DISPLAY=:$(head -1 "$_wine_display_file")

  [ -n "$fresh" ] && rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # One server for the whole batch, kept running between programs (its output would hold the
  # caller's stdout open), then the prefix made and the server warmed up.
  "$wine_server" -p >/dev/null 2>&1
  [ -f "$WINEPREFIX/system.reg" ] || "$loader" wineboot -i >/dev/null 2>&1
  # Into a file, not a pipe: the services this first program starts keep its output open.
  local out=$WINEPREFIX/ready.txt
  if ! "$loader" cmd /c echo ready >"$out" 2>&1 || [ "$(tr -d '\r' <"$out")" != ready ]; then
    echo "wine-session: Wine cannot start in $WINEPREFIX: $(head -c 300 "$out" | tr -d '\r' |
         tr '\n' ' ') ($loader)" >&2
    return 1
  fi
}

_wine_session_end() {
  "$wine_server" -k 2>/dev/null || true
  [ -n "$_wine_xvfb_pid" ] && kill "$_wine_xvfb_pid" 2>/dev/null || true
  rm -f "$_wine_display_file"
}
