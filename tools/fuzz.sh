#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan and UBSan) and runs each for N seconds
# (default 5), printing its figures. Longer by hand: tools/fuzz.sh 600. With
# VOXEL_FUZZ_BUILD_ONLY=1 it only builds.
# The corpus grown by each run is kept in the build folder for the next one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
build=${VOXEL_FUZZ_BUILD:-$root/build-fuzz}

mkdir -p "$build"
cmake -G Ninja -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
cmake --build "$build" > "$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
[[ -z ${VOXEL_FUZZ_BUILD_ONLY:-} ]] || exit 0

# Seeds: the interesting texts, and a whole map, a short file and a map that shrinks.
mkdir -p "$build/corpus/text" "$build/corpus/load"
for seed in 0 1 -1 +7 200 -2147483648 2147483647 2147483648 -2147483649 "" - + abc 1e3 " 5"; do
  printf '%s' "$seed" > "$build/corpus/text/seed-$(printf '%s' "$seed" | od -An -tx1 | tr -d ' \n')"
done
printf '\001abc' > "$build/corpus/load/seed-whole"
printf '\000abc' > "$build/corpus/load/seed-short"
printf '\003abc' > "$build/corpus/load/seed-shrinks"

passed=0
failed=0
for target in text load; do
  log="$build/fuzz_$target.log"
  if "$build/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/crash-$target-" \
      "$build/corpus/$target" > "$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
    echo "fuzz_$target: ${runs:-?} inputs in ${seconds} s, corpus $(ls "$build/corpus/$target" | wc -l) files, peak ${peak:-?} MB, no failure"
    passed=$((passed + 1))
  else
    echo "fuzz_$target: FAILED; the input that failed is kept as $build/crash-$target-*"
    tail -n 40 "$log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
