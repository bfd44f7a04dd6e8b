# Sourced by the scripts that run the Windows build under Wine (tests/windows/run.sh,
# tools/wine-measure.sh): a private Xvfb and the caller's Wine prefix with one persistent,
# warmed-up wineserver, both ended when the calling script exits or is interrupted.
#
#   source tools/wine-session.sh
#   wine_session PREFIX DISPLAY_FILE [fresh]    # fresh: make the prefix anew

wine_session() {
  local prefix=$1 fresh=${3:-}
  _wine_display_file=$2
  _wine_xvfb_pid=
  export WINEPREFIX=$prefix WINEDEBUG=-all
  # No Mono or Gecko: nothing here uses .NET or HTML, and the prefix would ask to download them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  trap _wine_session_end EXIT
  trap "exit 1" INT TERM HUP PIPE  # through the EXIT trap, so nothing is left running

  : >"$_wine_display_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$_wine_display_file" >/dev/null 2>&1 &
  _wine_xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$_wine_display_file" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -1 "$_wine_display_file")

  [ -n "$fresh" ] && rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # One server for the whole batch, kept running between programs (its output would hold the
  # caller's stdout open), then the prefix made and the server warmed up.
  wineserver -p >/dev/null 2>&1
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
  wine cmd /c exit >/dev/null 2>&1
}

_wine_session_end() {
  wineserver -k 2>/dev/null || true
  [ -n "$_wine_xvfb_pid" ] && kill "$_wine_xvfb_pid" 2>/dev/null || true
  rm -f "$_wine_display_file"
}
