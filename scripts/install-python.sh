#!/usr/bin/env bash
# Builds the Python package `shimmerly` for Debian's /usr/bin/python3 and installs it for the
# current user (into `python3 -m site --user-site`), or into the folder given as the argument.
#   scripts/install-python.sh [SITE_PACKAGES]
set -euo pipefail
cd "$(dirname "$0")/.."
python=${SHIMMERLY_PYTHON:-/usr/bin/python3}
site=${1:-$("$python" -m site --user-site)}
build=build/python-install
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSHIMMERLY_BUILD_TESTS=OFF \
  -DSHIMMERLY_BUILD_CLI=OFF -DSHIMMERLY_PYTHON_EXECUTABLE="$python" \
  -DSHIMMERLY_PYTHON_SITE_PACKAGES="$site" > /dev/null
if ! grep -q '^shimmerly_python' <(cmake --build "$build" --target help); then
  echo "install-python.sh: the Python module cannot be built here; see $build's configure" \
    "messages (scripts/install-deps.sh installs pybind11-dev, python3-dev and python3-numpy)" >&2
  exit 1
fi
cmake --build "$build" --target shimmerly_python -j "${JOBS:-2}"
cmake --install "$build" --component python
echo "Installed shimmerly into $site"
