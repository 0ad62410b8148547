#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Every C and C++ source is laid out as .clang-format says.
if git rev-parse --git-dir > /dev/null 2>&1; then
  git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
fi
cmake --preset ci
cmake --build --preset ci
ctest --preset ci -j "$(nproc)"
