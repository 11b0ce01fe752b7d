#!/usr/bin/env bash
# Configures and builds one build tree: tools/build.sh <dir> [cmake options...] [-- targets...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
opts=(); targets=()
while [[ $# -gt 0 ]]; do
  if [[ $1 == -- ]]; then shift; targets=("$@"); break; fi
  opts+=("$1"); shift
done
# A new folder is configured with the default build type; options given to an existing one are
# applied to it (cmake again). With no options, ninja alone re-runs cmake when a list changed.
if [[ ! -f "$dir/build.ninja" ]]; then
  cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}"
elif [[ ${#opts[@]} -gt 0 ]]; then
  cmake -S "$root" -B "$dir" "${opts[@]}"
fi
cmake --build "$dir" -- "${targets[@]}"
