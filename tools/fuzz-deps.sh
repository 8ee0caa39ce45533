#!/usr/bin/env bash
# Builds the fuzz-only libjpeg-turbo: Debian's own source package, compiled with clang, the
# sanitizers and the fuzzer's coverage hooks, so that fuzzing sees inside the JPEG decoder.
# The result lands in build/fuzz-deps/libjpeg-turbo/{include,lib}; it is built once per clean
# clone and reused after that. Nothing of it is committed.
set -euo pipefail
cd "$(dirname "$0")/.."

deps=build/fuzz-deps
prefix=$deps/libjpeg-turbo
if [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    run=()
else
    run=(sudo)
fi

# `apt-get source` needs a deb-src line; a fresh Debian 12 has none. This adds one for the
# archive the machine already uses for its binaries, in a file of its own.
if ! apt-cache showsrc libjpeg-turbo 2>/dev/null | grep -q '^Package: libjpeg-turbo'; then
    echo "Adding Debian 12 source lines: /etc/apt/sources.list.d/orlix-fuzz-src.sources"
    "${run[@]}" tee /etc/apt/sources.list.d/orlix-fuzz-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    "${run[@]}" apt-get update -qq
fi

rm -rf "$deps/src" "$deps/build" "$prefix"
mkdir -p "$deps/src"
(cd "$deps/src" && apt-get source -qq libjpeg-turbo >/dev/null)
source_dir=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)

# Static, C only, no SIMD: the assembly kernels carry no coverage hooks and no sanitizer checks
# (and would need nasm), so the fuzzer is guided through the C versions of the same steps.
flags="-O1 -gline-tables-only -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined"
flags+=" -fno-sanitize-recover=undefined"
# The compressor (jc*.c, jfdct*.c) is never called by the fuzz targets, and its Huffman encoder
# alone takes minutes to compile with the checks: it is compiled plainly.
cat >"$deps/plain-compressor.cmake" <<'CMAKE'
file(GLOB compressor ${CMAKE_CURRENT_SOURCE_DIR}/jc*.c ${CMAKE_CURRENT_SOURCE_DIR}/jfdct*.c)
set_source_files_properties(${compressor} PROPERTIES COMPILE_OPTIONS "-fno-sanitize=all")
CMAKE
cmake -S "$source_dir" -B "$deps/build" -G "Unix Makefiles" \
    -DCMAKE_PROJECT_INCLUDE="$PWD/$deps/plain-compressor.cmake" \
    -DCMAKE_BUILD_TYPE=None -DCMAKE_C_COMPILER=clang -DCMAKE_C_FLAGS="$flags" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON >/dev/null
cmake --build "$deps/build" --target jpeg-static -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

mkdir -p "$prefix/include" "$prefix/lib"
cp "$deps/build/libjpeg.a" "$prefix/lib/"
cp "$deps/build/jconfig.h" "$source_dir/jpeglib.h" "$source_dir/jmorecfg.h" \
    "$source_dir/jerror.h" "$prefix/include/"
echo "Built $(basename "$source_dir") for fuzzing in $prefix"
