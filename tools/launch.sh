#!/usr/bin/env bash
# Sets up, builds and launches the program with the arguments given (voxel --help lists them).
# The map lives in build/Map.Dat, beside the program, unless a MAP is given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# --help and --version need no display, nor a sample map.
info=false
for arg in "$@"; do
  [[ $arg == -- ]] && break
  [[ $arg == --help || $arg == -h || $arg == --version ]] && info=true
done
if $info; then
  # Only the program's own output: set-up and build are heard only when they fail.
  [[ -x "$root/build/voxel" ]] ||
    echo "launch: setting up and building first (a couple of minutes)..." >&2
  log=$(mktemp)
  if ! { bash "$root/tools/setup.sh" && bash "$root/tools/build.sh" "$root/build" -- voxel; } \
      >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  exec "$root/build/voxel" "$@"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "voxel: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); run it on a desktop." >&2
  exit 1
fi
# A DISPLAY nothing answers on fails here, not after a long build. xdpyinfo comes with set-up,
# so a fresh machine asks once set-up has installed it.
# The program opens DISPLAY unless a platform or display is named (on a Wayland session too,
# through its X server).
x11=true
[[ -n "${QT_QPA_PLATFORM:-}" && "${QT_QPA_PLATFORM}" != xcb* ]] && x11=false
for arg in "$@"; do
  [[ $arg == -- ]] && break
  [[ $arg == -platform || $arg == -display ]] && x11=false
done
display_checked=false
check_display() {
  $x11 && [[ -n "${DISPLAY:-}" ]] && command -v xdpyinfo >/dev/null || return 0
  display_checked=true
  if ! xdpyinfo >/dev/null 2>&1; then
    echo "voxel: cannot open the X display \"$DISPLAY\" (is its X server running?)." >&2
    exit 1
  fi
}
check_display
bash "$root/tools/setup.sh"
$display_checked || check_display
bash "$root/tools/build.sh" "$root/build" -- voxel voxel-sample-map
# A first start gets a sample landscape; an existing map is never touched.
[[ -e "$root/build/Map.Dat" ]] || "$root/build/voxel-sample-map" "$root/build"
exec "$root/build/voxel" "$@"
