#!/usr/bin/env bash
# Cross-builds the third-party libraries into CACHE/<name>-<version>/ from Debian's sources:
# protobuf (full and lite runtimes), TinyXML (without its standard-library interface), the 7z
# decoder of the LZMA SDK, and GoogleTest/GoogleMock.
# A library whose folder holds a finished stamp is left alone. Nothing is put into the clone.
# Usage: build-deps.sh CACHE ARCH [--no-tests]   (ARCH is i686 or x86_64; the libraries go to
# CACHE/ARCH/; --no-tests leaves GoogleTest out, for a tree that builds no tests)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-${PELORA_DEPS_CACHE:-$HOME/.cache/pelora-deps}}
arch=${2:-i686}
with_tests=1
[ "${3:-}" = --no-tests ] && with_tests=0
cache=$root/$arch
toolchain=$here/cmake/mingw-$arch.cmake
jobs=$(nproc)
cross=$arch-w64-mingw32
CC=$cross-gcc-posix
CXX=$cross-g++-posix
AR=$cross-gcc-ar-posix

PROTOBUF_VERSION=3.21.12
TINYXML_VERSION=2.6.2
SEVENZIP_VERSION=$(apt-cache showsrc 7zip 2>/dev/null | sed -n 's/^Version: //p' | head -1)
GTEST_VERSION=$(dpkg-query -W -f='${Version}' googletest)

log() { printf '[deps] %s\n' "$*"; }

# fetch SOURCE_PACKAGE VERSION_PREFIX -> prints the unpacked source folder
fetch() {
  local package=$1 dir=$root/src/$1
  mkdir -p "$dir"
  if [ -z "$(find "$dir" -mindepth 1 -maxdepth 1 -type d 2>/dev/null)" ]; then
    (cd "$dir" && apt-get source -qq "$package" >/dev/null 2>&1 || apt-get source --download-only -qq "$package" >/dev/null)
  fi
  find "$dir" -mindepth 1 -maxdepth 1 -type d | head -1
}

build_protobuf() {
  local out=$cache/protobuf-$PROTOBUF_VERSION
  [ -f "$out/.done" ] && return
  log "protobuf $PROTOBUF_VERSION"
  local src; src=$(fetch protobuf)
  rm -rf "$out" "$cache/build/protobuf"
  cmake -S "$src" -B "$cache/build/protobuf" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$out" \
    -Dprotobuf_BUILD_TESTS=OFF -Dprotobuf_BUILD_PROTOC_BINARIES=OFF \
    -Dprotobuf_BUILD_SHARED_LIBS=OFF -Dprotobuf_WITH_ZLIB=OFF \
    -Dprotobuf_MSVC_STATIC_RUNTIME=OFF -Dprotobuf_BUILD_LIBPROTOC=OFF -Wno-dev >/dev/null
  cmake --build "$cache/build/protobuf" -j "$jobs" --target libprotobuf libprotobuf-lite >/dev/null
  cmake --install "$cache/build/protobuf" >/dev/null
  touch "$out/.done"
}

# TinyXML without its standard-library interface: Debian's package makes every user define
# TIXML_USE_STL (enforce-use-stl.patch), which gives each node class a std::istream reader and
# makes the header include <iostream>; either one links the standard streams and the whole locale
# library (about 800 KB) into every program that reads XML. The patch is taken back out of a copy
# of the source, and the folder's name says so, so that a cache built with the interface is built
# again next to it rather than over it. The header refuses a program compiled with TIXML_USE_STL,
# whose classes would not match the library's.
build_tinyxml() {
  local out=$cache/tinyxml-$TINYXML_VERSION-nostl
  [ -f "$out/.done" ] && return
  log "tinyxml $TINYXML_VERSION (without TIXML_USE_STL)"
  local src; src=$(fetch tinyxml)
  rm -rf "$out"; mkdir -p "$out/include" "$out/lib" "$out/obj" "$out/src"
  cp "$src"/*.cpp "$src"/*.h "$out/src/"
  patch -s -R -d "$out/src" -p1 < "$src/debian/patches/enforce-use-stl.patch"
  local f
  for f in tinyxml tinystr tinyxmlerror tinyxmlparser; do
    $CXX -Os -c "$out/src/$f.cpp" -o "$out/obj/$f.o"
  done
  $AR rcs "$out/lib/libtinyxml.a" "$out"/obj/*.o
  sed 's|^#define TINYXML_INCLUDED$|&\n\n#ifdef TIXML_USE_STL\n#error "this TinyXML is built without TIXML_USE_STL"\n#endif|' \
    "$out/src/tinyxml.h" > "$out/include/tinyxml.h"
  cp "$out/src/tinystr.h" "$out/include/"
  rm -rf "$out/obj" "$out/src"
  touch "$out/.done"
}

build_lzma() {
  local out=$cache/lzma-7zip-$SEVENZIP_VERSION
  [ -f "$out/.done" ] && return
  log "7z decoder from 7zip $SEVENZIP_VERSION"
  local src; src=$(fetch 7zip)
  rm -rf "$out"; mkdir -p "$out/include/lzma" "$out/lib" "$out/obj"
  local f
  for f in 7zArcIn 7zDec 7zStream 7zBuf 7zBuf2 7zCrc 7zCrcOpt 7zAlloc 7zFile Bcj2 Bra Bra86 BraIA64 \
           LzmaDec Lzma2Dec CpuArch Delta; do
    [ -f "$src/C/$f.c" ] || continue
    $CC -O2 -D_7ZIP_PPMD_SUPPPORT -c "$src/C/$f.c" -o "$out/obj/$f.o"
  done
  $AR rcs "$out/lib/liblzma7z.a" "$out"/obj/*.o
  cp "$src"/C/*.h "$out/include/lzma/"
  rm -rf "$out/obj"
  touch "$out/.done"
}

build_googletest() {
  local out=$cache/googletest-$GTEST_VERSION
  [ -f "$out/.done" ] && return
  log "googletest $GTEST_VERSION"
  rm -rf "$out" "$cache/build/googletest"
  cmake -S /usr/src/googletest -B "$cache/build/googletest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$out" -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$cache/build/googletest" -j "$jobs" >/dev/null
  cmake --install "$cache/build/googletest" >/dev/null
  touch "$out/.done"
}

mkdir -p "$cache"
build_tinyxml
build_lzma
[ $with_tests = 1 ] && build_googletest
build_protobuf

# One file that the project's configure step reads to find every library of this cache.
cat > "$cache/deps.cmake.tmp" <<EOT
set(PELORA_PROTOBUF_ROOT "$cache/protobuf-$PROTOBUF_VERSION")
set(PELORA_TINYXML_ROOT "$cache/tinyxml-$TINYXML_VERSION-nostl")
set(PELORA_LZMA_ROOT "$cache/lzma-7zip-$SEVENZIP_VERSION")
set(PELORA_GTEST_ROOT "$cache/googletest-$GTEST_VERSION")
EOT
mv "$cache/deps.cmake.tmp" "$cache/deps.cmake"
