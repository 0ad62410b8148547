# Shared by the end-to-end render comparisons between builds (tests/windows/compare-renders.sh,
# tests/arm64/compare-renders.sh); sourced, not run. Provides:
#   write_test_frame FILE   a 61 x 37 PAM frame: colour ramps, seeded noise, a fifth of the
#                           pixels fully transparent
#   render_cases            control sets that reach every step: styles, masks, blends, quality,
#                           downsampling, colour sources, effect-only and the target view
#   isa_of                  the "isa" of a `shimmerly bench --json` line on standard input
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
