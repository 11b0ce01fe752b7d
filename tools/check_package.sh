#!/usr/bin/env bash
# Checks what an install and the package hold: tools/check_package.sh [BUILD] builds the package
# from the Release tree BUILD (tools/package.sh), validates the desktop entry and the AppStream
# metadata it installs, renders the manual page with groff's warnings on, and runs lintian on
# the package. Any error or warning from them fails the check.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
deb=$(bash "$root/tools/package.sh" "$build")
usr="$build/package/root/usr"
status=0
# Each tool's words are shown; anything it says counts, whatever its exit status.
check() {
  local out
  out=$("$@" 2>&1) || status=1
  out=$(grep -v -e '^running with root privileges is not recommended!$' \
                -e '^✔ Validation was successful' <<<"$out" || true)
  if [[ -n $out ]]; then
    printf '%s: %s\n' "$1" "$out"
    status=1
  else
    echo "ok: $*"
  fi
}
check desktop-file-validate "$usr"/share/applications/*.desktop
check appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml
# The page as man shows it, with groff's warnings; only they reach the check.
manual() { MANWIDTH=80 man --warnings -l "$1" > /dev/null; }
check manual "$usr/share/man/man6/voxel.6.gz"
check lintian --fail-on error,warning "$deb"
exit $status
