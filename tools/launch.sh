#!/usr/bin/env bash
# Sets up, builds and launches the program with the arguments given (voxel --help lists them).
# Unless a MAP is given, the map is the user's, $XDG_DATA_HOME/voxel/Map.Dat (by default
# ~/.local/share/voxel/Map.Dat, where the installed program keeps it too), out of reach of a
# clean of the build tree; a map an earlier version left in build/ is moved there once.
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

# Whether the arguments name a MAP already, or end in an option still waiting for its value.
named=false
pending=false
ended=false
for arg in "$@"; do
  if $pending; then pending=false; continue; fi
  if $ended || [[ $arg != -?* ]]; then named=true; break; fi
  [[ $arg == -- ]] && ended=true && continue
  name=${arg#-}; name=${name#-}
  case $name in
    fps|kernel|seed|platform|platformpluginpath|platformtheme|plugin|display|geometry|\
    qwindowgeometry|qwindowicon|qwindowtitle|icon|title|name|style|stylesheet|session|visual)
      pending=true ;;
  esac
done
if ! $named && ! $pending; then
  data=${XDG_DATA_HOME:-}
  [[ $data == /* ]] || data=$HOME/.local/share  # a relative one is to be ignored
  data=$data/voxel
  (umask 077 && mkdir -p "$data")
  # Once: the map an earlier version kept in build/, with the files kept beside it, moves to
  # the data folder; never over a map already there.
  if [[ -e "$root/build/Map.Dat" || -L "$root/build/Map.Dat" ]]; then
    if [[ -e "$data/Map.Dat" || -L "$data/Map.Dat" ]]; then
      echo "launch: $root/build/Map.Dat is left as it was; the map is $data/Map.Dat" >&2
    else
      for f in "$root"/build/Map.Dat "$root"/build/Map.Dat.{bak,unread*,other-*}; do
        [[ -e $f || -L $f ]] && mv -n "$f" "$data/"
      done
      echo "launch: moved $root/build/Map.Dat and its .bak to $data/, out of reach of a" \
        "clean of the build folder" >&2
    fi
  fi
  # A first start gets a sample landscape; an existing map is never touched.
  [[ -e "$data/Map.Dat" || -L "$data/Map.Dat" ]] ||
    "$root/build/voxel-sample-map" "$data" >/dev/null
  set -- "$@" "$data/Map.Dat"
fi
exec "$root/build/voxel" "$@"
