#!/usr/bin/env bash
# Runs one 64-bit Windows program under wine64: the emulator of the windows-x86_64 build
# (CMAKE_CROSSCOMPILING_EMULATOR), so that ctest can run the Windows tests on Linux.
# Uses its own prefix (SHIMMERLY_WINEPREFIX, default under /tmp), no debug output, no Mono or
# Gecko prompts and no menu entries. scripts/test-windows.sh starts a kept-alive wineserver first.
set -euo pipefail
export WINEPREFIX="${SHIMMERLY_WINEPREFIX:-/tmp/shimmerly-wine-$(id -u)}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
exec /usr/lib/wine/wine64 "$@"
