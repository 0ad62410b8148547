# Shared by the end-to-end render comparisons between builds (tests/windows/compare-renders.sh,
# tests/arm64/compare-renders.sh); sourced, not run. Provides:
#   write_test_frame FILE   a 61 x 37 PAM frame: colour ramps, seeded noise, a fifth of the
#                           pixels fully transparent
#   render_cases            control sets that reach every step: styles, masks, blends, quality,
#                           downsampling, colour sources, effect-only and the target view
#   isa_of                  the "isa" of a `shimmerly bench --json` line on standard input
#   check_same LABEL A B    one check: files A and B equal byte for byte (and A not empty);
#                           counts it in $n, a difference in $failed, and prints which
#   compare_raw_frames RUN_A RUN_B DIR
#                           two raw frames of DIR/in.pam through standard input and output of
#                           `RUN_A render` and `RUN_B render` (commands or functions), compared
write_test_frame() {
  python3 - "$1" <<'PY'
import random, sys
rng = random.Random(7)
width, height = 61, 37
pixels = bytearray()
for y in range(height):
    for x in range(width):
        alpha = 0 if rng.random() < 0.2 else rng.randrange(256)
        pixels += bytes([x * 255 // (width - 1), rng.randrange(256), y * 255 // (height - 1), alpha])
header = b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % (width, height)
open(sys.argv[1], "wb").write(header + bytes(pixels))
PY
}
# shellcheck disable=SC2034
render_cases=(
  ""
  "--glow-size 9.5 --blend screen"
  "--glow-style in --mask brightness --bright-cutoff 80 --dark-cutoff 20 --blend overlay"
  "--glow-style out --color-from layer --blend magic-glue-2 --quality low --glow-size 13"
  "--effect-only --glow-size 23.5 --softness 40 --trans-boost -30 --color ff8020"
  "--mask alpha --blend multiply --downsample 1/2 --trans-boost 75"
  "--show-target --mask brightness-alpha"
)
isa_of() { sed -n 's/.*"isa": "\([a-z0-9]*\)".*/\1/p'; }
check_same() {
  n=$((n + 1))
  if [ -s "$2" ] && cmp -s "$2" "$3"; then
    echo "same bytes, $1"
  else
    echo "DIFFERENT, $1"
    cmp "$2" "$3" | head -1 || true
    failed=$((failed + 1))
  fi
}
compare_raw_frames() {
  local dir=$3 header_bytes raw_controls="--glow-size 6 --blend add"
  header_bytes=$(($(wc -c <"$dir/in.pam") - 61 * 37 * 4))
  tail -c +$((header_bytes + 1)) "$dir/in.pam" >"$dir/frame.raw"
  cat "$dir/frame.raw" "$dir/frame.raw" >"$dir/in.raw"
  # shellcheck disable=SC2086
  "$1" render - --raw 61x37 -o - $raw_controls <"$dir/in.raw" >"$dir/a.raw"
  # shellcheck disable=SC2086
  "$2" render - --raw 61x37 -o - $raw_controls <"$dir/in.raw" >"$dir/b.raw"
  check_same "raw frames on standard input and output, $raw_controls" "$dir/a.raw" "$dir/b.raw"
}
