#!/usr/bin/env bash
# The long-run check: 1,000 renders and 1,000 preset loads in one process (COUNT overrides the
# number), which fails when memory handles are left behind or the heap in use keeps growing.
#   scripts/long-run.sh          under valgrind (debug build): no leak of any kind, no bad access
#   scripts/long-run.sh --lsan   under AddressSanitizer and LeakSanitizer (sanitize build)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${COUNT:-1000}
if [ "${1:-}" = "--lsan" ]; then
  [ -f build/sanitize/build.ninja ] || cmake --preset sanitize
  cmake --build build/sanitize --target long_run_check
  ASAN_OPTIONS=detect_leaks=1 build/sanitize/long_run_check "$count"
else
  if ! command -v valgrind >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq valgrind
  fi
  [ -f build/debug/build.ninja ] || cmake --preset debug
  cmake --build build/debug --target long_run_check
  valgrind --quiet --leak-check=full --show-leak-kinds=all \
    --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=1 \
    build/debug/long_run_check "$count"
fi
