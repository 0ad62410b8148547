#!/usr/bin/env bash
# Runs the libFuzzer targets of fuzz/ one after another, each for SECONDS (default 60), in the
# `sanitize` build (clang, AddressSanitizer, UndefinedBehaviorSanitizer), which it configures and
# builds when needed. Each target starts from its seed corpus in fuzz/corpus/<target> and keeps
# what it learns in build/sanitize/fuzz-corpus/<target>; a finding stops the script with the
# crashing input in build/sanitize/fuzz-artifacts/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      e.g. scripts/fuzz.sh 1200 render_fuzz
#   SHIMMERLY_FUZZ_SEEDS_ONLY=1 scripts/fuzz.sh 15   (CI: the seed corpus only, nothing kept)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(preset_reader_fuzz preset_index_fuzz image_reader_fuzz render_fuzz
                                  frei0r_params_fuzz gegl_properties_fuzz)

build=build/sanitize
[ -f "$build/build.ninja" ] || cmake --preset sanitize >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

mkdir -p "$build/fuzz-artifacts"
for target in "${targets[@]}"; do
  seeds="fuzz/corpus/$target"
  options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1
           -artifact_prefix="$build/fuzz-artifacts/$target-")
  case "$target" in
    preset_*) options+=(-dict=fuzz/preset.dict) ;;
  esac
  if [ "${SHIMMERLY_FUZZ_SEEDS_ONLY:-0}" = 1 ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
  else
    work="$build/fuzz-corpus/$target"
    mkdir -p "$work"
  fi
  echo "== $target: ${seconds}s"
  log="$build/fuzz-artifacts/$target.log"
  # The outer timeout is a safety net: libFuzzer stops itself after max_total_time.
  status=0
  timeout --signal=INT $((seconds + 120)) "$build/fuzz/$target" "${options[@]}" "$work" "$seeds" \
    >"$log" 2>&1 || status=$?
  grep -E "^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed|average_exec|new_units)|SUMMARY|ERROR|Test unit written" \
    "$log" || true
  if [ "$status" -ne 0 ]; then
    echo "$target failed (status $status); log and input in $build/fuzz-artifacts/" >&2
    exit 1
  fi
  if [ "${SHIMMERLY_FUZZ_SEEDS_ONLY:-0}" = 1 ]; then rm -rf "$work"; trap - EXIT; fi
done
