#!/usr/bin/env bash
# Installs the Debian 12 packages Orlix needs to build, test and run, and only those missing.
# Uses apt-get directly as root, through sudo otherwise.
set -euo pipefail

packages=(
    # toolchain
    g++ make cmake pkg-config clang-format
    # Qt 6 Widgets and SVG (the icon); the JPEG and GIF decoders come with libqt6gui6
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
    # ICU, the collation library under Qt's collator: the sort makes its keys with it
    libicu-dev
    # libjpeg for the viewer's reduced JPEG decoding (the same library Qt decodes JPEG with)
    libjpeg-dev
    # seccomp filters for the decoder processes and the program's lockdown after start-up
    libseccomp-dev
    # Little CMS 2: pictures' colour profiles and the display's
    liblcms2-dev
    # Wayland sessions run natively; X11 sessions need nothing more
    qt6-wayland
    # tests and benchmarks; the first picture on Xvfb against feh watches the screen with the
    # X damage extension and presses keys with XTest
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    feh libxcb-damage0-dev libxcb-xtest0-dev
    # a font with Japanese glyphs and the guide's arrows
    fonts-ipafont-gothic
    # window hints on X11 (xcb); the desktop tests: Xvfb, openbox, weston, keys and the pointer
    libxcb1-dev libxcb-xfixes0-dev xvfb openbox weston xdotool
    # keeping the screen awake: the X screen-saver extension; its tests run a private session
    # bus (and a private X server, Xvfb above)
    libxcb-screensaver0-dev dbus-daemon
    # fuzzing (make fuzz): clang with libFuzzer and the sanitizer runtimes, llvm-symbolizer for
    # readable reports; dpkg-dev unpacks the libjpeg-turbo source package (tools/fuzz-deps.sh)
    clang libclang-rt-14-dev llvm
    # colour tests: ProPhoto, Adobe RGB and sRGB profiles as Debian ships them
    colord-data icc-profiles-free
    # the Debian package (make package) and its checks; man-db lets lintian check the manual
    dpkg-dev binutils lintian appstream man-db
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    run=()
elif command -v sudo >/dev/null 2>&1; then
    run=(sudo)
else
    echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
    exit 1
fi
"${run[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
