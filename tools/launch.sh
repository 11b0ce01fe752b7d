#!/usr/bin/env bash
# Sets up, builds and launches the program. The map lives in build/Map.Dat, beside the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "voxel: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); run it on a desktop." >&2
  exit 1
fi
bash "$root/tools/setup.sh"
bash "$root/tools/build.sh" "$root/build" -- voxel voxel-sample-map
# A first start gets a sample landscape; an existing map is never touched.
[[ -e "$root/build/Map.Dat" ]] || "$root/build/voxel-sample-map" "$root/build"
exec "$root/build/voxel"
