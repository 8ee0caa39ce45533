#!/usr/bin/env bash
# Checks the Debian package that tools/build-deb.sh made (or the .deb named as the argument):
# its file list against packaging/deb-contents.txt, the dependencies the program needs at run
# time, lintian (errors fail, the rest is shown), the AppStream metainfo it ships, and that
# the packaged program starts far enough to report the missing display.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(Orlix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=${1:-build/orlix_${version}_$(dpkg --print-architecture).deb}
if [ ! -f "$deb" ]; then
    echo "check-deb: $deb is missing; run 'make package'" >&2
    exit 1
fi

failures=0
fail() {
    echo "check-deb: $*" >&2
    failures=$((failures + 1))
}

# Mode, owner and path of every entry; sizes and dates are left out.
if ! diff -u --label expected --label "$deb" \
    <(grep -v '^#' packaging/deb-contents.txt) \
    <(dpkg-deb --contents "$deb" | awk '{ print $1, $2, $6 }'); then
    fail "the file list differs from packaging/deb-contents.txt"
fi

[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] ||
    fail "package version $(dpkg-deb --field "$deb" Version), project version $version"

# Computed from the binary, but checked by name: the xcb platform plugin and the JPEG and GIF
# decoders come with libqt6gui6, the icon needs libqt6svg6, the windows the Japanese font, the
# confinement of the program and its decoder processes libseccomp2.
depends=$(dpkg-deb --field "$deb" Depends)
for needed in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 fonts-ipafont-gothic libseccomp2; do
    grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -q 'qt6-wayland' <<<"$(dpkg-deb --field "$deb" Recommends)" ||
    fail "Recommends lacks qt6-wayland"

# Lintian refuses nothing as root, but says so on every run.
lintian --fail-on error --display-info "$deb" 2> >(grep -v 'running with root privileges' >&2) ||
    fail "lintian reports errors"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb --extract "$deb" "$tmp/root"
appstreamcli validate --no-net "$tmp"/root/usr/share/metainfo/*.metainfo.xml >/dev/null ||
    fail "appstreamcli rejects the metainfo: $(appstreamcli validate --no-net \
        "$tmp"/root/usr/share/metainfo/*.metainfo.xml 2>&1 || true)"

# The stripped program must still load: without a display it says so and exits 1. Its own
# runtime folder keeps a running copy of Orlix from turning this run into a silent no-op.
mkdir -m 0700 "$tmp/run"
status=0
output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$tmp/run" \
    "$tmp/root/usr/bin/orlix" 2>&1) || status=$?
if [ "$status" -ne 1 ] || ! grep -q 'graphical desktop' <<<"$output"; then
    fail "the packaged program does not start as expected (exit $status): $output"
fi

if [ "$failures" -ne 0 ]; then
    echo "check-deb: $failures check(s) failed for $deb" >&2
    exit 1
fi
echo "check-deb: $deb is fine"
