#!/usr/bin/env bash
# Tests one Windows build. First glow.exe itself: its PE format (PE32 for i386, PE32+ for
# x86-64), a GUI program, importing only DLLs every Windows has. Then, where this machine can
# run it, the whole suite under Wine on a private Xvfb, in a fresh prefix of this run's own
# (WIN_BUILD/wineprefix): the cross-compiled tests through the cross build's CTest, then the
# Linux build's tests that drive glow.exe, unpack its zip and compare its frames with the Linux
# build's. A 32-bit build on a kernel that executes no 32-bit programs (tools/runs-32bit.sh;
# GLOW_NO_32BIT=1 pretends so) is checked and not run, and says so.
#
#   tests/windows/run.sh WIN_BUILD LINUX_BUILD [JOBS] [RESULTS_DIR]
#
# RESULTS_DIR receives each CTest run's JUnit report, and not-run.txt when the suite could not
# run here, for the summary of `make test`.
set -euo pipefail

win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
jobs=${3:-2}
results=${4:-$win/test-results}
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$win/glow.exe
mkdir -p "$results"
rm -f "$results"/*.xml "$results/not-run.txt"

fail() { echo "windows tests: $*" >&2; exit 1; }

# The exe as the zip ships it.
format=$(objdump -f "$exe" 2>/dev/null | sed -n 's/.*file format //p') || true
case $format in
  pei-i386) bits=32 ;;
  pei-x86-64) bits=64 ;;
  *) fail "$exe is not a Windows program (objdump says '${format:-nothing}')" ;;
esac
headers=$(objdump -p "$exe")
grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" || fail "$exe is not a GUI program"
system_dlls=" advapi32.dll gdi32.dll glu32.dll kernel32.dll msvcrt.dll opengl32.dll shlwapi.dll user32.dll winmm.dll "
imports=$(sed -n 's/.*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
[ "$(echo "$imports" | wc -w)" -gt 3 ] || fail "$exe imports too little to be the demo: $imports"
for dll in $imports; do
  case $system_dlls in *" $dll "*) ;; *) fail "$exe imports $dll, which is not a system DLL" ;; esac
done
zip=$root/dist/glow-of-the-snow-win$bits.zip
[ -f "$zip" ] || fail "$zip is missing (make dist)"
echo "windows tests: $exe is a $bits-bit GUI program importing only system DLLs: $(echo $imports)"

if [ $bits = 32 ] && ! bash "$root/tools/runs-32bit.sh"; then
  line="32-bit glow.exe built and checked, not run: this kernel executes no 32-bit programs"
  [ -n "${GLOW_NO_32BIT:-}" ] && line="$line (GLOW_NO_32BIT is set)"
  echo "$line"
  echo "$line" >"$results/not-run.txt"
  exit 0
fi

source "$root/tools/wine-session.sh"
loader=$(wine_loader "$exe")
start=$(date +%s)
if ! wine_session "$win/wineprefix" "$win/xvfb-display" "$loader" fresh; then
  fail "Wine cannot start here, so the $bits-bit program was not tested (see the line above)"
fi
echo "wine: fresh $WINEARCH prefix in $(( $(date +%s) - start )) s"

status=0
(cd "$win" && ctest --output-on-failure -j"$jobs" -L wine --output-junit "$results/cross.xml") ||
  status=1
(cd "$linux" && GLOW_WIN_BUILD=$win GLOW_WINE=$loader GLOW_WIN_ZIP=$zip \
   ctest --output-on-failure -L wine --output-junit "$results/linux.xml") || status=1
exit $status
