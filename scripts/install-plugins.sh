#!/usr/bin/env bash
# Installs the host plug-ins for the current user, without root, from a build folder (default
# build/release, configured and built when the plug-ins are missing):
#   frei0r  shimmerly.so and its factory presets into ~/.frei0r-1/lib/, where ffmpeg, MLT
#           (melt, Kdenlive, Shotcut) and GStreamer look; Kdenlive's effect description into
#           ~/.local/share/kdenlive/effects/
#   GEGL    the operation shimmerly:glow, with the factory presets beside it, into
#           ${XDG_DATA_HOME:-~/.local/share}/gegl-0.4/plug-ins/ (the gegl command, GIMP 2.10)
# A plug-in whose SDK is missing is skipped with a message (scripts/install-deps.sh installs
# them); it fails when neither can be installed. Each file is copied under a temporary name and
# renamed when complete, so a host never finds a half-copied module or preset folder.
# Usage: scripts/install-plugins.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
[ -f "$build/build.ninja" ] || cmake --preset "$(basename "$build")" >/dev/null
targets=$(cmake --build "$build" --target help)
installed=0

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
if grep -q '^shimmerly_frei0r:' <<<"$targets"; then
  cmake --build "$build" --target shimmerly_frei0r
  frei0r_dir="$HOME/.frei0r-1/lib"
  install_folder "$build/frei0r-1/Shimmerly Presets" "$frei0r_dir"
  install_file "$build/frei0r-1/shimmerly.so" "$frei0r_dir"
  install_file src/frei0r/kdenlive/frei0r_shimmerly.xml "$HOME/.local/share/kdenlive/effects"
  echo "frei0r filter: $frei0r_dir/shimmerly.so"
  installed=$((installed + 1))
else
  echo "install-plugins: frei0r filter skipped: frei0r.h not found" \
    "(scripts/install-deps.sh frei0r-plugins-dev)" >&2
fi

# --- GEGL -----------------------------------------------------------------------------------
if grep -q '^shimmerly_gegl:' <<<"$targets"; then
  cmake --build "$build" --target shimmerly_gegl
  gegl_dir=${SHIMMERLY_GEGL_PLUGIN_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/gegl-0.4/plug-ins}
  install_folder "$build/gegl-0.4/Shimmerly Presets" "$gegl_dir"
  install_file "$build/gegl-0.4/shimmerly.so" "$gegl_dir"
  echo "GEGL operation shimmerly:glow: $gegl_dir/shimmerly.so"
  installed=$((installed + 1))
else
  echo "install-plugins: GEGL operation skipped: gegl-0.4 not found" \
    "(scripts/install-deps.sh libgegl-dev gegl)" >&2
fi

[ "$installed" -gt 0 ] || { echo "install-plugins: nothing to install from $build" >&2; exit 1; }
