#!/usr/bin/env bash
# Installs the host plug-ins for the current user, without root, from a build folder (default
# build/release, configured and built when the plug-ins are missing):
#   frei0r  shimmerly.so and its factory presets into ~/.frei0r-1/lib/, where ffmpeg, MLT
#           (melt, Kdenlive, Shotcut) and GStreamer look; Kdenlive's effect description into
#           ~/.local/share/kdenlive/effects/
# Each file is copied under a temporary name and renamed when complete.
# Usage: scripts/install-plugins.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

# install_file SOURCE FOLDER: SOURCE into FOLDER, replaced only once complete.
install_file() {
  mkdir -p "$2"
  local target="$2/$(basename "$1")"
  cp "$1" "$target.part.$$"
  mv -f "$target.part.$$" "$target"
}

# install_folder SOURCE FOLDER: the folder SOURCE into FOLDER, replacing the one there.
install_folder() {
  mkdir -p "$2"
  local target="$2/$(basename "$1")"
  rm -rf "$target.part.$$"
  cp -R "$1" "$target.part.$$"
  rm -rf "$target"
  mv "$target.part.$$" "$target"
}

# --- frei0r ---------------------------------------------------------------------------------
frei0r_module="$build/frei0r-1/shimmerly.so"
if [ ! -f "$frei0r_module" ]; then
  [ -f "$build/build.ninja" ] || cmake --preset "$(basename "$build")" >/dev/null
  cmake --build "$build" --target shimmerly_frei0r
fi
if [ ! -f "$frei0r_module" ]; then
  echo "install-plugins: no frei0r filter in $build (is frei0r-plugins-dev installed?)" >&2
  exit 1
fi
frei0r_dir="$HOME/.frei0r-1/lib"
install_folder "$build/frei0r-1/Shimmerly Presets" "$frei0r_dir"
install_file "$frei0r_module" "$frei0r_dir"
install_file src/frei0r/kdenlive/frei0r_shimmerly.xml "$HOME/.local/share/kdenlive/effects"
echo "frei0r filter: $frei0r_dir/shimmerly.so"
