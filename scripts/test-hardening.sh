#!/usr/bin/env bash
# CI hardening step: builds the tests and the fuzz targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (the `sanitize` preset: -O1, line tables only), runs the whole test
# suite there (LeakSanitizer included), then every fuzz target briefly on its seed corpus.
# Installs clang and its sanitizer runtimes when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/install-deps.sh clang libclang-rt-14-dev

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize -j "$(nproc)"
# About a minute in all: 15 seconds per target on the seed corpus.
SHIMMERLY_FUZZ_SEEDS_ONLY=1 scripts/fuzz.sh 15
