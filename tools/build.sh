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
if [[ ! -f "$dir/build.ninja" ]]; then
  cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}"
fi
cmake --build "$dir" -- "${targets[@]}"
