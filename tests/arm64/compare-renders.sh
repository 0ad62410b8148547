#!/usr/bin/env bash
# End-to-end check of the ARM64 Linux build: renders the same input with the same controls
# through the native x86-64 `shimmerly` and through the aarch64 `shimmerly` under qemu-aarch64,
# and requires the output files to be equal byte for byte, against each instruction set's
# kernels that this processor runs on the x86-64 side (SHIMMERLY_ISA), and the aarch64 build's
# NEON kernels against its generic ones. Also checks that the aarch64 bench runs and names the
# NEON kernels, which every ARM64 processor runs; its time under the emulator says nothing about
# ARM64 speed and is not compared.
# Usage: compare-renders.sh X86_64_SHIMMERLY AARCH64_SHIMMERLY
set -euo pipefail
native=$1
arm64=$2
sysroot=${SHIMMERLY_ARM64_SYSROOT:-/usr/aarch64-linux-gnu}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Both hosts keep their preset folders out of the way, under a scratch home.
export HOME=$work
run_arm64() { qemu-aarch64 -L "$sysroot" "$arm64" "$@"; }

# shellcheck source=../support/render-cases.sh
. "$(dirname "$0")/../support/render-cases.sh"
write_test_frame "$work/in.pam"
failed=0
n=0

n=$((n + 1))
arm64_bench=$(run_arm64 bench --size 320x180 --frames 2 --json)
case "$(isa_of <<<"$arm64_bench")" in
  neon) echo "the aarch64 bench runs, kernels $(isa_of <<<"$arm64_bench")" ;;
  *) echo "WRONG KERNELS from the aarch64 bench: $arm64_bench"; failed=$((failed + 1)) ;;
esac

# The aarch64 frames, rendered with its best kernels; its generic kernels must give the same
# bytes, and so must every x86-64 set.
i=0
for controls in "${render_cases[@]}"; do
  i=$((i + 1))
  # shellcheck disable=SC2086
  run_arm64 render "$work/in.pam" -o "$work/arm64-$i.pam" $controls
  # shellcheck disable=SC2086
  SHIMMERLY_ISA=generic run_arm64 render "$work/in.pam" -o "$work/arm64-generic-$i.pam" $controls
  check_same "aarch64 generic: ${controls:-(default controls)}" "$work/arm64-generic-$i.pam" \
    "$work/arm64-$i.pam"
done
for isa in generic avx2 avx512; do
  export SHIMMERLY_ISA=$isa
  ran=$(isa_of <<<"$("$native" bench --size 64x64 --frames 1 --json)")
  # A processor without the set runs a lesser one, already compared.
  if [ "$ran" != "$isa" ]; then
    echo "x86-64 kernels $isa not run by this processor (it gave $ran): skipped"
    continue
  fi
  i=0
  for controls in "${render_cases[@]}"; do
    i=$((i + 1))
    # shellcheck disable=SC2086
    "$native" render "$work/in.pam" -o "$work/native-$isa-$i.pam" $controls
    check_same "x86-64 $isa: ${controls:-(default controls)}" "$work/native-$isa-$i.pam" \
      "$work/arm64-$i.pam"
  done
done
unset SHIMMERLY_ISA

# Raw RGBA frames through standard input and output: two frames back to back.
compare_raw_frames "$native" run_arm64 "$work"
echo "$((n - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
