# Sourced by the Wine scripts: the environment every Wine call of the build and the tests uses.
# Never the user's own ~/.wine: callers set WINEPREFIX to a prefix of their own.
pelora_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PELORA_TEST_ARCH=$("$pelora_root/scripts/test-arch.sh")
export PELORA_TEST_ARCH
if [ "$PELORA_TEST_ARCH" = i686 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
# The templates of one test run; scripts/wine-prefix.sh makes them on first use.
export PELORA_WINE_TEMPLATES=${PELORA_WINE_TEMPLATES:-${TMPDIR:-/tmp}/pelora-wine-templates-$(id -u)}
# The wine loader of that architecture (Debian's wrapper tries the 32-bit one first).
if [ "$PELORA_TEST_ARCH" = i686 ]; then PELORA_WINE=/usr/lib/wine/wine; else PELORA_WINE=/usr/lib/wine/wine64; fi
export PELORA_WINE
wine() { "$PELORA_WINE" "$@"; }
