#!/usr/bin/env bash
# `make test`: every test stage in turn, each to its end even when an earlier one failed, then
# one summary: each stage's tests passed, failed and skipped, and its minutes, from the CTest
# reports the stage left in RESULTS/<stage>/; then the closing line "N passed, N failed".
# Exits 1 when anything failed.
#
#   tests/stages.sh MAKE RESULTS
set -uo pipefail

make_cmd=$1
results=$2
# stage directory, make target, what the summary calls it
stages=(
  "release test-release release build"
  "sanitizers test-sanitize sanitizers (ASan+UBSan)"
  "windows-64 test-win64 Windows 64-bit (wine64)"
  "windows-32 test-win32 Windows 32-bit (wine)"
  "web test-web web page (headless Chromium)"
)

rm -rf "$results"
mkdir -p "$results"
summary=()
total_passed=0 total_failed=0 any_failed=0

# passed failed skipped, summed over the JUnit reports in a folder.
count() {
  local p=0 f=0 s=0 xml tests failures skipped disabled
  for xml in "$1"/*.xml; do
    [ -f "$xml" ] || continue
    read -r tests failures skipped disabled < <(sed -n '/<testsuite/,/>/p' "$xml" |
      tr ' \t' '\n\n' | sed -n 's/^\(tests\|failures\|skipped\|disabled\)="\([0-9]*\)"/\2/p' |
      paste -sd' ')
    s=$((s + skipped + disabled))
    f=$((f + failures))
    p=$((p + tests - failures - skipped - disabled))
  done
  echo "$p $f $s"
}

for entry in "${stages[@]}"; do
  read -r dir target title <<<"$entry"
  echo
  echo "=== $title: make $target"
  mkdir -p "$results/$dir"
  start=$(date +%s)
  $make_cmd --no-print-directory "$target"
  status=$?
  minutes=$(awk -v s=$(( $(date +%s) - start )) 'BEGIN { printf "%.1f", s / 60 }')
  read -r passed failed skipped < <(count "$results/$dir")
  if [ -f "$results/$dir/not-run.txt" ]; then
    line=$(printf '%-32s not run: %s' "$title" "$(sed 's/.*not run: //' "$results/$dir/not-run.txt")")
  else
    line=$(printf '%-32s %4d passed %3d failed %3d skipped  %5s min' "$title" "$passed" "$failed" \
           "$skipped" "$minutes")
  fi
  # A stage that failed before or beside its tests (a build, a check, Wine not starting)
  # counts as one failure, so the totals never read clean.
  if [ $status -ne 0 ]; then
    any_failed=1
    if [ "$failed" -eq 0 ]; then
      failed=1
      line="$line  FAILED (make $target exited $status)"
    fi
  fi
  summary+=("$line")
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
done

echo
echo "=== make test: summary"
printf '%s\n' "${summary[@]}"
echo "$total_passed passed, $total_failed failed"
[ $any_failed -eq 0 ] && [ $total_failed -eq 0 ]
