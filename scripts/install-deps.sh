#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Shimmerly. Idempotent: apt is
# only asked when a package is missing. frei0r-plugins-dev brings frei0r.h alone; ffmpeg, melt and
# GStreamer are the hosts the frei0r filter's tests run in.
#   scripts/install-deps.sh                      the packages of the Linux build and tests
#   scripts/install-deps.sh libopencv-dev        OpenCV, for the benchmark that compares the glow
#                                                with OpenCV's filters (the engine and tests never
#                                                use it)
#   scripts/install-deps.sh [--i386] [--no-install-recommends] PACKAGE...
#                                                those packages instead (the CI stages' extras);
#                                                --i386 first enables the i386 architecture
#                                                (scripts/test-windows.sh: mingw-w64, wine64;
#                                                scripts/test-arm64.sh: the aarch64 cross
#                                                compiler, its sysroot, qemu-user)
set -euo pipefail
i386=0
apt_flags=()
while [ $# -gt 0 ]; do
  case "$1" in
    --i386) i386=1; shift ;;
    --no-install-recommends) apt_flags+=(--no-install-recommends); shift ;;
    *) break ;;
  esac
done
if [ $# -gt 0 ]; then
  packages=("$@")
else
  packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
            libpng-dev libdeflate-dev libopenimageio-dev libcli11-dev clang-format python3 python3-dev
            pybind11-dev python3-numpy python3-pytest libhwy-dev
            frei0r-plugins-dev ffmpeg melt gstreamer1.0-tools gstreamer1.0-plugins-good
            gstreamer1.0-plugins-bad libgegl-dev gegl)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  if [ "$i386" -eq 1 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${apt_flags[@]}" "${missing[@]}" \
    >/dev/null
fi
