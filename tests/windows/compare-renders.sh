#!/usr/bin/env bash
# End-to-end check of the Windows build: renders the same input with the same controls through
# the Linux `shimmerly` with Shimmerly.so and through the 64-bit `shimmerly.exe` with
# Shimmerly.aex under wine64, and requires the output files to be equal byte for byte; once with
# each instruction set's kernels that this processor runs (SHIMMERLY_ISA), after checking that
# both builds pick the same set and that the Windows bench reports its peak memory.
# Usage: compare-renders.sh LINUX_SHIMMERLY WINDOWS_SHIMMERLY_EXE
# Expects WINELOADER, WINEPREFIX and friends set and a kept-alive wineserver (test-windows.sh).
set -euo pipefail
linux=$1
windows=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=../support/render-cases.sh
. "$(dirname "$0")/../support/render-cases.sh"
write_test_frame "$work/in.pam"
cases=("${render_cases[@]}")
failed=0
n=0
for isa in generic avx2 avx512; do
  export SHIMMERLY_ISA=$isa
  linux_bench=$(HOME=$work "$linux" bench --size 320x180 --frames 2 --json)
  windows_bench=$("$WINELOADER" "$windows" bench --size 320x180 --frames 2 --json </dev/null | tr -d '\r')
  n=$((n + 1))
  if [ -n "$(isa_of <<<"$linux_bench")" ] &&
     [ "$(isa_of <<<"$linux_bench")" = "$(isa_of <<<"$windows_bench")" ]; then
    echo "same kernels asked for $isa: $(isa_of <<<"$windows_bench")"
  else
    echo "DIFFERENT KERNELS asked for $isa: Linux $linux_bench, Windows $windows_bench"
    failed=$((failed + 1))
  fi
  if [ "$isa" = generic ]; then
    n=$((n + 1))
    if grep -qE '"peak_bytes": [1-9]' <<<"$windows_bench"; then
      echo "the Windows bench reports its peak memory"
    else
      echo "NO PEAK MEMORY from the Windows bench: $windows_bench"
      failed=$((failed + 1))
    fi
  fi
  i=0
  for controls in "${cases[@]}"; do
    i=$((i + 1))
    # Both hosts keep their preset folders out of the way: Linux under a scratch home, Windows in
    # the wine prefix's documents folder.
    # shellcheck disable=SC2086
    HOME=$work "$linux" render "$work/in.pam" -o "$work/linux-$isa-$i.pam" $controls
    # shellcheck disable=SC2086
    "$WINELOADER" "$windows" render "$work/in.pam" -o "$work/windows-$isa-$i.pam" $controls </dev/null
    check_same "$isa: ${controls:-(default controls)}" "$work/linux-$isa-$i.pam" \
      "$work/windows-$isa-$i.pam"
  done
done
unset SHIMMERLY_ISA
# Raw RGBA frames through standard input and output: two frames back to back.
run_linux() { HOME=$work "$linux" "$@"; }
run_windows() { "$WINELOADER" "$windows" "$@"; }
compare_raw_frames run_linux run_windows "$work"
# The first render's global set-up found the factory presets beside Shimmerly.aex through the
# path the Windows host gave with get_platform_data, and seeded the user's preset folder.
n=$((n + 1))
factory="$(dirname "$windows")/Shimmerly Presets"
seeded=$({ find -L "$WINEPREFIX/drive_c/users" -path "*/Brindlex/Shimmerly/Shimmerly Presets" \
           -type d 2>/dev/null || true; } | head -1)
if [ -n "$seeded" ] && diff <(cd "$factory" && ls) <(cd "$seeded" && ls) >/dev/null; then
  echo "seeded: the Windows documents folder holds the $(ls "$seeded" | wc -l) factory files"
else
  echo "NOT SEEDED: the Windows preset folder lacks the factory presets (${seeded:-missing})"
  failed=$((failed + 1))
fi
echo "$((n - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
