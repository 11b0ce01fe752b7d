#!/usr/bin/env bash
# Sets up, checks the source tree's shape (tools/check_layout.py: layers, file sizes, X headers),
# builds and runs every test: unit, widget and end-to-end tests in the Release tree, which
# builds everything (the benchmarks too) with warnings as errors, since -O3 warns where -O2 is
# silent, with the package check among them (tools/check_package.sh: the Debian package built,
# the desktop entry and metadata validated, the manual page rendered, lintian); then the unit and widget tests built with AddressSanitizer and UBSan, with the
# renderer sweep at every 15th angle; then the fuzz targets for 5 s each. The sanitizer tree and
# its tests, and the fuzz build, run at low priority beside the Release tree from the start.
# The long forms, by hand, are in the README.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$root/tools/setup.sh"
# The source tree's shape first (a second or so): layers, file sizes, where X is spoken.
python3 -B "$root/tools/check_layout.py" --self-test
python3 -B "$root/tools/check_layout.py"

# In the background at low priority, from the start: the sanitizer tree, which builds only the
# test programs it runs, at -O1 with line tables (a third less compiling than -O2 -g, and its
# tests take as long), then its tests, then the fuzz targets' build. It takes what the Release
# build and the end-to-end tests (which mostly wait on the display) leave of the processors.
tests=(test_util test_terrain test_views test_toolkit test_platform test_present test_app test_app_allocation)
mkdir -p "$root/build-asan"
log="$root/build-asan/background.log"  # in the sanitizer tree, which git ignores
set -m  # a process group of its own, which a failed step ends whole, builds included
(
  nice -n 19 bash "$root/tools/build.sh" "$root/build-asan" -DVOXEL_SANITIZE=ON \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -- "${tests[@]}"
  cd "$root/build-asan"
  VOXEL_SWEEP_STEP=15 ASAN_OPTIONS=detect_leaks=0 nice -n 19 \
    ctest --output-on-failure -j "$jobs" -L 'unit|widget'
  VOXEL_FUZZ_BUILD_ONLY=1 nice -n 19 bash "$root/tools/fuzz.sh"
) < /dev/null > "$log" 2>&1 &
background=$!
set +m
trap 'kill -- -"$background" 2> /dev/null || true' EXIT  # a failed step ends it too

bash "$root/tools/build.sh" "$root/build-release" -DCMAKE_BUILD_TYPE=Release -DVOXEL_WERROR=ON

status=0
(cd "$root/build-release" && ctest --output-on-failure -j "$jobs" -LE e2e) || status=1
(cd "$root/build-release" && ctest --output-on-failure -L e2e) || status=1
if ! wait "$background"; then
  cat "$log"
  exit 1
fi
grep -E 'tests passed|Total Test time' "$log"
[[ $status -eq 0 ]] || exit 1

bash "$root/tools/fuzz.sh" 5
