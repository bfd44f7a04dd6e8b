#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build-fuzz and runs each for SECONDS
# seconds on a scratch copy of its seed corpus. Fails when a target finds a crash, leak, UB or
# hang; the input that caused it is kept under build-fuzz/fuzz-artifacts/<target>/.
# Usage: fuzz/run.sh SECONDS   (environment: FUZZ_BUILD, FUZZ_CMAKE_FLAGS, JOBS)
set -u

seconds=${1:-60}
case "$seconds" in
  '' | *[!0-9]* | 0) echo "usage: $0 SECONDS (a whole number above 0)" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
jobs=${JOBS:-2}
targets=(obj_load png_decode sound_stream)

# A build directory configured for something else (another compiler, fuzzing off) starts over.
cache=$build/CMakeCache.txt
if [ -f "$cache" ] && ! { grep -q '^GLOW_FUZZ:BOOL=ON$' "$cache" &&
                          grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$cache"; }; then
  rm -rf "$cache" "$build/CMakeFiles"
fi
if [ ! -f "$cache" ]; then
  # shellcheck disable=SC2086  # FUZZ_CMAKE_FLAGS holds several words
  if ! CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DGLOW_FUZZ=ON -DGLOW_TESTS=OFF \
         -DGLOW_BENCH=OFF ${FUZZ_CMAKE_FLAGS:-} >"$build.configure.log" 2>&1; then
    cat "$build.configure.log" >&2
    exit 1
  fi
  rm -f "$build.configure.log"
fi
if ! log=$(cmake --build "$build" -j"$jobs" --target fuzzers 2>&1); then
  echo "$log" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/glow-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

status=0
total_execs=0
printf '%-14s %12s %10s  %s\n' target executions exec/s result
for target in "${targets[@]}"; do
  corpus=$work/$target
  artifacts=$work/$target-artifacts
  cp -r "$root/fuzz/corpus/$target" "$corpus"
  mkdir -p "$artifacts"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" >"$work/$target.log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/$target.log" | tail -1)
  total_execs=$((total_execs + ${execs:-0}))
  if [ "$rc" -eq 0 ]; then
    result=ok
  else
    result="FAILED (exit $rc)"
    status=1
    keep=$build/fuzz-artifacts/$target
    mkdir -p "$keep"
    cp "$artifacts"/* "$keep"/ 2>/dev/null
    cp "$work/$target.log" "$keep/fuzz.log"
    echo "---- $target: last lines of its log (all of it and the input: $keep)" >&2
    tail -n 40 "$work/$target.log" >&2
  fi
  printf '%-14s %12s %10s  %s\n' "$target" "${execs:-?}" "${rate:-?}" "$result"
done
printf '%-14s %12s\n' total "$total_execs"
exit $status
