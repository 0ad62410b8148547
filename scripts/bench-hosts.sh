#!/usr/bin/env bash
# Times what the frei0r filter adds to ffmpeg's decoding of 12 grainy 1920x1080 frames, next to
# ffmpeg's own gblur + blend, in one run: ROUNDS rounds (default 7), each running decoding alone,
# decoding with the filter and decoding with gblur + blend, in turn. Prints the median time added
# per frame. Uses the frei0r filter of a build folder (default build/release, built when missing).
# Usage: scripts/bench-hosts.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
rounds=${2:-7}
if [ ! -f "$build/frei0r-1/shimmerly.so" ]; then
  [ -f "$build/build.ninja" ] || cmake --preset "$(basename "$build")" >/dev/null
  cmake --build "$build" --target shimmerly_frei0r
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" FREI0R_PATH="$PWD/$build/frei0r-1"

# Grain on a moving picture, with alpha: 12 PNG frames.
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25,noise=alls=40:allf=t" \
  -frames:v 12 -pix_fmt rgba "$work/grain%02d.png"

python3 - "$work" "$rounds" <<'PY'
import statistics, subprocess, sys, time
work, rounds = sys.argv[1], int(sys.argv[2])
decode = ["ffmpeg", "-v", "error", "-nostdin", "-i", f"{work}/grain%02d.png"]
commands = {
    "decode": ["-vf", "format=rgba"],
    "shimmerly": ["-vf", "format=rgba,frei0r=filter_name=shimmerly"],
    "gblur_blend": ["-filter_complex",
                    "format=rgba,split[a][b];[b]gblur=sigma=10[g];[a][g]blend=all_mode=screen"],
}
times = {name: [] for name in commands}
for _ in range(rounds):
    for name, options in commands.items():
        start = time.perf_counter()
        subprocess.run(decode + options + ["-f", "null", "-"], check=True)
        times[name].append(time.perf_counter() - start)
base = statistics.median(times["decode"])
print(f"decoding alone: {base * 1000 / 12:.1f} ms per frame (medians of {rounds} rounds)")
for name in ("shimmerly", "gblur_blend"):
    print(f"{name}: adds {(statistics.median(times[name]) - base) * 1000 / 12:.1f} ms per frame")
PY
