#!/usr/bin/env bash
# Sets up, builds and runs every test: unit, widget and end-to-end tests in a release build,
# then the unit and widget tests again built with AddressSanitizer and UBSan, then the fuzz targets.
# The RelWithDebInfo and Release trees build with warnings as errors: -O3 warns where -O2 is silent.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$root/tools/setup.sh"

bash "$root/tools/build.sh" "$root/build" -DVOXEL_WERROR=ON
bash "$root/tools/build.sh" "$root/build-release" -DCMAKE_BUILD_TYPE=Release -DVOXEL_WERROR=ON
(cd "$root/build" && ctest --output-on-failure -j "$jobs" -LE e2e)
(cd "$root/build" && ctest --output-on-failure -L e2e)

bash "$root/tools/build.sh" "$root/build-asan" -DVOXEL_SANITIZE=ON
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j "$jobs" -L 'unit|widget')
bash "$root/tools/fuzz.sh" 5
