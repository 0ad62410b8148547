#!/usr/bin/env bash
# Builds Shimmerly's modules for other programs and installs them for the current user (no root
# needed), each into the folder its hosts search:
#   GEGL    the operation shimmerly:glow, with the factory presets beside it, into
#           ${XDG_DATA_HOME:-~/.local/share}/gegl-0.4/plug-ins/ (the gegl command, GIMP 2.10)
# A module whose SDK is missing is skipped with a message (scripts/install-deps.sh installs it).
#   scripts/install-plugins.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/plugins-install}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_LIBDIR=lib \
  -DSHIMMERLY_BUILD_TESTS=OFF -DSHIMMERLY_BUILD_CLI=OFF > /dev/null
targets=$(cmake --build "$build" --target help)
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT

# replace SOURCE DESTINATION: copies beside the destination first and renames into place, so
# that a host never finds a half-copied module or preset folder.
replace() {
  local source=$1 destination=$2 temporary
  temporary="$(dirname "$destination")/.$(basename "$destination").new"
  rm -rf "$temporary"
  cp -R "$source" "$temporary"
  if [ -d "$destination" ] && [ ! -L "$destination" ]; then rm -rf "$destination"; fi
  mv -f -T "$temporary" "$destination"
}

# --- GEGL ---
gegl_dir=${SHIMMERLY_GEGL_PLUGIN_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/gegl-0.4/plug-ins}
if grep -q '^shimmerly_gegl:' <<< "$targets"; then
  cmake --build "$build" --target shimmerly_gegl -j "${JOBS:-2}"
  cmake --install "$build" --component gegl --prefix "$staging/gegl" > /dev/null
  mkdir -p "$gegl_dir"
  replace "$staging/gegl/lib/gegl-0.4/Shimmerly Presets" "$gegl_dir/Shimmerly Presets"
  replace "$staging/gegl/lib/gegl-0.4/shimmerly.so" "$gegl_dir/shimmerly.so"
  echo "Installed the GEGL operation shimmerly:glow into $gegl_dir"
else
  echo "install-plugins.sh: GEGL operation skipped: gegl-0.4 not found" \
    "(scripts/install-deps.sh libgegl-dev gegl)" >&2
fi
