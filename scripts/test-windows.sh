#!/usr/bin/env bash
# The Windows stage of CI: installs the mingw-w64 cross compilers, wine64 and Xvfb where missing,
# cross-builds the 64-bit and 32-bit plug-in modules, checks both module files statically
# (machine, export table of exactly `main`, system-only imports, PIPL against its table, dialog
# templates, file version), runs the Windows tests under wine64 inside one Xvfb session and
# compares renders of the 64-bit Windows build with the Linux build's byte for byte.
# 32-bit Windows code cannot run where the kernel refuses 32-bit programs; the 32-bit build is
# then only checked statically.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh --i386 --no-install-recommends \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth python3 \
  cmake ninja-build googletest

for preset in windows-x86_64 windows-i686; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# The module files, checked without running them; the Windows host imports only system DLLs too.
version=$(sed -n 's/^project(Shimmerly VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for arch in x86_64 i686; do
  python3 scripts/check-pe.py --machine "$arch" --exports main \
    --pipl-table src/platform/windows/pipl.table --dialogs --version "$version" \
    "build/windows-$arch/Shimmerly.aex"
done
python3 scripts/check-pe.py --machine x86_64 build/windows-x86_64/shimmerly.exe

# The 64-bit modules run the AVX2 and AVX-512 kernels, whose spill slots GCC cannot align on
# Windows' 16-byte stack: the assembler must have written every aligned vector move as an
# unaligned one (cmake/mingw-x86_64.cmake), and no non-temporal move, which needs alignment too,
# may appear. Other VEX and EVEX instructions do not care about alignment. The 256- and 512-bit
# registers must appear, or the modules hold no vector kernels and this check proves nothing.
for module in build/windows-x86_64/shimmerly.exe build/windows-x86_64/Shimmerly.aex; do
  x86_64-w64-mingw32-objdump -d --no-show-raw-insn "$module" >build/windows-x86_64/module.dis
  aligned=$(grep -cE '\svmov(aps|apd|dqa|dqa32|dqa64|ntps|ntpd|ntdq|ntdqa)\s[^#]*\(' \
            build/windows-x86_64/module.dis || true)
  if [ "$aligned" -ne 0 ]; then
    echo "$module holds $aligned aligned vector moves to or from memory:"
    grep -E '\svmov(aps|apd|dqa|dqa32|dqa64|ntps|ntpd|ntdq|ntdqa)\s[^#]*\(' \
      build/windows-x86_64/module.dis | head -5
    exit 1
  fi
done
for wide in ymm zmm; do
  grep -q "%$wide" build/windows-x86_64/module.dis ||
    { echo "Shimmerly.aex uses no $wide register: the vector kernels are missing"; exit 1; }
done
rm build/windows-x86_64/module.dis
echo "64-bit modules: vector kernels, no aligned vector moves to or from memory"

# Exactness of the 32-bit build: its pixel arithmetic must run in SSE2, never in the x87 unit,
# whose wider registers would change results in the last bit. (Loads, stores and integer
# conversions through x87 registers are exact and allowed.)
layers=$(find build/windows-i686/src -name 'libshimmerly*.a' | sort)
[ -n "$layers" ] || { echo "no layer libraries in build/windows-i686/src"; exit 1; }
for layer in $layers; do
  x87=$(i686-w64-mingw32-objdump -d "$layer" |
        grep -cE '\s(fadd|fsub|fmul|fdiv|fsqrt|fprem|fscale|f2xm1|fyl2x|frndint)[a-z]*\s' || true)
  if [ "$x87" -ne 0 ]; then
    echo "$layer computes $x87 times in x87 registers; build it with -msse2 -mfpmath=sse"
    exit 1
  fi
done
echo "32-bit layers: no x87 arithmetic"

# The Linux host renders the reference frames of the end-to-end comparison.
linux_host=${SHIMMERLY_LINUX_HOST:-$root/build/ci/shimmerly}
if [ ! -x "$linux_host" ]; then
  cmake --preset ci >/dev/null
  cmake --build --preset ci --target shimmerly
fi

# The Windows tests under wine64: one prefix for the run, one kept-alive server, one display.
export SHIMMERLY_WINEPREFIX=$root/build/windows-x86_64/wine-prefix
export WINEPREFIX=$SHIMMERLY_WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
# Wine links the prefix's documents folder into the home folder: a scratch home keeps the
# Windows runs out of the user's own preset folders.
export HOME=$root/build/windows-x86_64/wine-home
mkdir -p "$HOME"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "note: 32-bit Windows programs could run here, but the 32-bit tests are not wired up yet"
else
  echo "32-bit Windows programs cannot run on this machine; the 32-bit module was checked statically"
fi
rm -rf "$WINEPREFIX" "$HOME"/*
mkdir -p "$WINEPREFIX"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  trap "$WINESERVER -k >/dev/null 2>&1 || true" EXIT
  "$WINESERVER" -p
  # Prepare the prefix with standard streams detached, so that no wine helper keeps a pipe open.
  "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1
  # Unmanaged windows close in milliseconds instead of seconds.
  "$WINELOADER" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f \
    </dev/null >/dev/null 2>&1
  ctest --preset windows-x86_64 --timeout 120
  tests/windows/compare-renders.sh "$0" build/windows-x86_64/shimmerly.exe
' "$linux_host"

