#!/usr/bin/env bash
# The installed package from outside: `cmake --install` into a fresh prefix, a program built
# against it once with CMake's find_package(Shimmerly) and once with pkg-config, and every case
# of that program compared byte for byte with `shimmerly render` on the same image.
#   installed_package_test.sh BUILD_DIR SHIMMERLY_CLI
set -euo pipefail
build=$1
cli=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME"

cmake --install "$build" --prefix "$work/prefix" > /dev/null
test -f "$work/prefix/include/shimmerly/shimmerly.h"
pc_dir=$(dirname "$(find "$work/prefix" -name shimmerly.pc)")

cmake -S "$here/consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$work/cmake-build" > /dev/null
# shellcheck disable=SC2046
c++ -O2 -o "$work/pc-consumer" "$here/consumer/consumer.cpp" \
  $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs shimmerly)

"$work/pc-consumer" make "$work/in.pam" 97 61
failures=0
while read -r n options; do
  # shellcheck disable=SC2086
  "$cli" render "$work/in.pam" -o "$work/cli.pam" --overwrite --quiet $options
  for consumer in "$work/cmake-build/shimmerly_consumer" "$work/pc-consumer"; do
    "$consumer" render "$n" "$work/in.pam" "$work/api.pam"
    if ! cmp -s "$work/cli.pam" "$work/api.pam"; then
      echo "case $n ($options): $(basename "$consumer") differs from shimmerly render"
      failures=$((failures + 1))
    fi
  done
done < <("$work/pc-consumer" cases)
[ "$failures" -eq 0 ] && echo "every case equals shimmerly render, through CMake and pkg-config"
exit "$failures"
