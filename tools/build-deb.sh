#!/usr/bin/env bash
# Builds the Debian package build/orlix_<version>_<arch>.deb from the release build in
# build/release (`make package` builds that first). A native package: the version is the
# project's own, taken from CMakeLists.txt.
#
# The tree is staged with the project's own install rules, then given what Debian policy
# wants beyond them: a stripped binary, a compressed manual page, the copyright file and the
# changelog. The dependencies are computed from the binary by dpkg-shlibdeps.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
packaging=packaging
out=build

version=$(sed -n 's/^project(Orlix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
    echo "build-deb: no project version found in CMakeLists.txt" >&2
    exit 1
fi
changelog_version=$(dpkg-parsechangelog -l "$packaging/changelog" -SVersion)
if [ "$changelog_version" != "$version" ]; then
    echo "build-deb: packaging/changelog is at $changelog_version, the project at $version;" \
         "add a changelog entry" >&2
    exit 1
fi
arch=$(dpkg --print-architecture)
if [ ! -x "$build/bin/orlix" ]; then
    echo "build-deb: $build/bin/orlix is missing; run 'make package'" >&2
    exit 1
fi

# dpkg-shlibdeps wants a source-package layout: debian/control, the package's tree in
# debian/<package>.
work=$out/deb
root=$work/debian/orlix
rm -rf "$work"
mkdir -p "$root"
umask 022

DESTDIR="$PWD/$root" cmake --install "$build" --prefix /usr >/dev/null

# Whatever the checkout's permissions, the package holds 0755 folders and 0644 files; only
# the program is executable.
find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
chmod 0755 "$root/usr/bin/orlix"

# As dh_strip does: no symbols, and no compiler notes.
strip --remove-section=.comment --remove-section=.note "$root/usr/bin/orlix"

# -n keeps the time stamp and name out of the archive, so equal input gives equal bytes.
gzip -9n "$root/usr/share/man/man1/orlix.1"
doc=$root/usr/share/doc/orlix
mkdir -p "$doc"
install -m 0644 "$packaging/copyright" "$doc/copyright"
gzip -9n <"$packaging/changelog" >"$doc/changelog.gz"
chmod 0644 "$doc/changelog.gz"

# dpkg-deb stamps the archive with the changelog's date and clamps the files' times to it,
# so rebuilding the same version gives the same bytes.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$packaging/changelog" -STimestamp)
export SOURCE_DATE_EPOCH

# dpkg-shlibdeps finds the package's root by its DEBIAN folder.
mkdir -p "$root/DEBIAN"
printf 'Source: orlix\n\nPackage: orlix\nArchitecture: any\n' >"$work/debian/control"
shlibs=$(cd "$work" && dpkg-shlibdeps -O debian/orlix/usr/bin/orlix)
shlibs=${shlibs#shlibs:Depends=}
if [ -z "$shlibs" ]; then
    echo "build-deb: dpkg-shlibdeps found no dependencies" >&2
    exit 1
fi

# Installed-Size counts KiB of the files, as dpkg-gencontrol does.
installed_size=$(du -sk --apparent-size --exclude=DEBIAN "$root" | cut -f1)

sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" \
    -e "s/@INSTALLED_SIZE@/$installed_size/" -e "s/@SHLIBS_DEPENDS@/$shlibs/" \
    "$packaging/control.in" >"$root/DEBIAN/control"
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) \
    >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb=$out/orlix_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
