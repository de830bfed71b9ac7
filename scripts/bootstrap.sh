#!/usr/bin/env bash
# Prepares this machine to build and test the setup program: Debian packages, then the
# cross-built third-party libraries in a cache outside the clone. Safe to run again; a second
# run that finds everything in place only checks and returns.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cache=${PELORA_DEPS_CACHE:-$HOME/.cache/pelora-deps}
stamp_packages=$cache/.packages-v7

PACKAGES=(
  dpkg-dev build-essential cmake ninja-build pkg-config
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb x11-utils xdotool imagemagick
  7zip protobuf-compiler python3-protobuf python3-pytest python3-pytest-xdist
  googletest liblnk-utils fonts-wqy-microhei iproute2 locales python3-pil nsis time
  chromium postgresql python3-psycopg2
)

log() { printf '[bootstrap] %s\n' "$*"; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

have_all_packages() {
  dpkg --print-foreign-architectures | grep -qx i386 || return 1
  local p status
  for p in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) || return 1
    [ "$status" = "install ok installed" ] || return 1
  done
}

add_deb_src() {
  local f=/etc/apt/sources.list.d/debian.sources
  if [ -f "$f" ] && ! grep -q '^Types:.*deb-src' "$f"; then
    log "adding deb-src to $f"
    as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
    return 0
  fi
  if [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
    log "adding deb-src lines to /etc/apt/sources.list"
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | as_root tee -a /etc/apt/sources.list >/dev/null
  fi
}

# A mirror in the middle of a sync fails an index now and then ("File has unexpected size"): try
# again a little later, and go on with the indexes apt already has when it keeps failing, so that
# the install itself tells whether a package is really missing.
apt_update() {
  local attempt
  for attempt in 1 2 3; do
    log "apt-get update (attempt $attempt)"
    as_root apt-get update -qq && return 0
    sleep $((attempt * 15))
  done
  log "apt-get update kept failing; installing from the indexes at hand"
}

install_packages() {
  if have_all_packages && [ -f "$stamp_packages" ]; then
    return
  fi
  add_deb_src
  dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
  apt_update
  log "installing ${#PACKAGES[@]} packages"
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}" >/dev/null
  mkdir -p "$cache"
  touch "$stamp_packages"
}

# Wine takes a process's ANSI code page from its Unix locale: the tests run the setup under a
# Chinese locale (code page 936), which must exist on the host.
install_locales() {
  locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' && return
  log "generating the zh_CN.UTF-8 locale"
  as_root localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
}

# ccache only makes a fresh clone on this machine compile faster (the trees' launcher when it is
# there, see CMakeLists.txt): when it cannot be installed, the builds simply run without it.
install_compiler_cache() {
  command -v ccache >/dev/null && return
  log "installing ccache (optional)"
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends ccache >/dev/null 2>&1 ||
    log "ccache could not be installed; the builds run without it"
}

install_packages
install_compiler_cache
install_locales
# The shipped program is 32-bit; the tests run the same sources built for the architecture that
# this machine's Wine can execute (see scripts/test-arch.sh).
test_arch=$("$here/scripts/test-arch.sh")
if [ "$test_arch" = i686 ]; then
  "$here/scripts/build-deps.sh" "$cache" i686
else
  "$here/scripts/build-deps.sh" "$cache" i686 --no-tests
  "$here/scripts/build-deps.sh" "$cache" "$test_arch"
fi
log "ready (dependencies in $cache)"
