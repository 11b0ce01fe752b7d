#!/usr/bin/env bash
# Builds the Debian package from a Release build tree: tools/package.sh [BUILD] (build-release
# by default) installs the tree into BUILD/package/root as /usr, strips the program, and writes
# BUILD/voxel_VERSION_ARCH.deb, whose path it prints. `apt install ./that.deb` installs it;
# removing it leaves each user's maps in their data folder (~/.local/share/voxel), on purpose.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-release}" && pwd)
stage="$build/package"
pkg="$stage/root"
rm -rf "$stage"
mkdir -p "$pkg"
DESTDIR="$pkg" cmake --install "$build" --prefix /usr >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)

# As Debian's own packages do: no symbols or build notes, manual and changelog compressed.
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$pkg/usr/bin/voxel"
gzip -9n "$pkg/usr/share/man/man6/voxel.6"
gzip -9n -c "$root/dist/debian/changelog" > "$pkg/usr/share/doc/voxel/changelog.gz"

# The libraries the program links, as package names; dpkg-shlibdeps reads the package's name
# from a control file under debian/. What it cannot see: the toolkit's X11 platform plugin,
# loaded at run time, and a font with Hangul for the panel's captions.
mkdir -p "$stage/debian"
printf 'Source: voxel\n\nPackage: voxel\nArchitecture: any\n' > "$stage/debian/control"
shlibs=$(cd "$stage" && dpkg-shlibdeps -O "$pkg/usr/bin/voxel" 2>/dev/null |
         sed -n 's/^shlibs:Depends=//p')

find "$pkg" -type d -exec chmod 0755 {} +
find "$pkg" -type f -exec chmod 0644 {} +
chmod 0755 "$pkg/usr/bin/voxel"
mkdir -m 0755 "$pkg/DEBIAN"
(cd "$pkg" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$pkg/DEBIAN/md5sums"
cat > "$pkg/DEBIAN/control" <<EOF
Package: voxel
Version: $version
Architecture: $arch
Maintainer: The Voxel authors <team@voxelauthors.org>
Installed-Size: $(du -k -s --exclude=DEBIAN "$pkg" | cut -f1)
Depends: $shlibs, qt6-qpa-plugins, fonts-nanum
Recommends: qt6-image-formats-plugins
Section: graphics
Priority: optional
Description: sculpt a height field and watch it as a turning voxel landscape
 Voxel is a small terrain toy. It keeps one height field of 320 by 240 cells
 and shows it twice, side by side: as a landscape of vertical bars seen from a
 camera that turns about the middle of the field, and from above, where the
 mouse raises and lowers the ground under a round brush.
 .
 The map is kept in each user's data folder (~/.local/share/voxel) and saved
 when the window closes; removing the package leaves it there.
EOF
chmod 0644 "$pkg/DEBIAN/control" "$pkg/DEBIAN/md5sums"
deb="$build/voxel_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$deb" >/dev/null
echo "$deb"
