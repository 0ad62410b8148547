#!/usr/bin/env bash
# The ARM64 stage of CI: installs the aarch64 cross compiler, its sysroot and qemu-user where
# missing, cross-builds the linux-arm64 preset (plug-in, public library, `shimmerly` host and
# tests), runs its tests under qemu-aarch64 and compares its renders with the native x86-64
# build's byte for byte (tests/arm64/compare-renders.sh).
# The tests that run are every in-process test: the kernels against their plain forms, the
# engine, the plug-in through the in-process host, presets and hostile input (tests/CMakeLists.txt
# lists them). The tests that start `shimmerly` as a child process run on the native build only;
# the render comparison covers the aarch64 `shimmerly` end to end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh --no-install-recommends \
  g++-aarch64-linux-gnu libc6-dev-arm64-cross libstdc++-12-dev-arm64-cross qemu-user \
  python3 cmake ninja-build googletest libcli11-dev

cmake --preset linux-arm64 >/dev/null
cmake --build --preset linux-arm64
ctest --preset linux-arm64 --timeout 600

# The native host renders the reference frames of the end-to-end comparison.
native_host=${SHIMMERLY_LINUX_HOST:-$root/build/ci/shimmerly}
if [ ! -x "$native_host" ]; then
  cmake --preset ci >/dev/null
  cmake --build --preset ci --target shimmerly
fi
tests/arm64/compare-renders.sh "$native_host" build/linux-arm64/shimmerly
