#!/usr/bin/env bash
# Times `shimmerly render` against ffmpeg on one machine in one run: frames made here in code
# (bright shapes and bars on a dark, partly transparent ground, with grain), then, run by run in
# turn, the PNG sequence, the raw RGBA pipe and the other output formats against ffmpeg's
# gblur + blend=all_mode=screen PNG pipeline; prints the median seconds of each and the PNG file
# sizes, and draws a bar chart with gnuplot when it is installed.
#   scripts/bench-cli.sh [SHIMMERLY] [OUT_DIR]
#   FRAMES=24 SIZE=1920x1080 RUNS=5 FORMATS="tif exr" scripts/bench-cli.sh build/release/shimmerly /tmp/bench-cli
# It needs ffmpeg, bc and Python 3 with numpy (Debian: ffmpeg bc python3-numpy); gnuplot
# (gnuplot-nox) for the chart.
set -euo pipefail
shimmerly=$(realpath "${1:-build/release/shimmerly}")
out=${2:-${TMPDIR:-/tmp}/shimmerly-bench-cli}
frames=${FRAMES:-24}
size=${SIZE:-1920x1080}
runs=${RUNS:-5}
width=${size%x*}
height=${size#*x}
for tool in ffmpeg bc "${PYTHON:-/usr/bin/python3}"; do
  command -v "$tool" > /dev/null || { echo "bench-cli: $tool is needed" >&2; exit 2; }
done
[ -x "$shimmerly" ] || { echo "bench-cli: no shimmerly at $shimmerly" >&2; exit 2; }
rm -rf "$out"
mkdir -p "$out/in"

# The frames, as raw RGBA (for the pipe) and as a PNG sequence written by ffmpeg.
"${PYTHON:-/usr/bin/python3}" - "$out/frames.raw" "$frames" "$width" "$height" <<'PY'
import sys
import numpy as np
path, count, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = np.random.default_rng(26)
y, x = np.mgrid[0:h, 0:w]
with open(path, "wb") as f:
    for n in range(count):
        frame = np.zeros((h, w, 4), np.float64)
        frame[..., :3] = 20 + 10 * rng.standard_normal((h, w, 1))
        frame[..., 3] = 140 + 60 * np.sin(x / w * 6.28 + n * 0.2)
        for k in range(6):
            cx = w * (0.15 + 0.14 * k) + 8 * n
            cy = h * (0.5 + 0.3 * np.sin(k + n * 0.1))
            disc = (x - cx) ** 2 + (y - cy) ** 2 < (h * 0.06) ** 2
            frame[disc] = [255, 200 - 25 * k, 60 + 30 * k, 255]
        for k in range(8):  # bars standing in for text
            bar = (abs(y - h * 0.15) < h * 0.02) & (abs(x - w * (0.1 + 0.1 * k)) < w * 0.03)
            frame[bar] = [250, 250, 250, 255]
        frame[..., :3] += 6 * rng.standard_normal((h, w, 3))
        f.write(np.clip(frame, 0, 255).astype(np.uint8).tobytes())
PY
ffmpeg -loglevel error -f rawvideo -pix_fmt rgba -s "$size" -i "$out/frames.raw" \
  -start_number 1 "$out/in/f.%04d.png"

# name|command, one per pipeline; every command writes its own folder afresh.
pipelines=(
  "ffmpeg gblur+blend PNG|rm -rf $out/o-ffmpeg && mkdir $out/o-ffmpeg && ffmpeg -loglevel error -start_number 1 -i $out/in/f.%04d.png -filter_complex '[0]split[a][b];[b]gblur=sigma=10[g];[a][g]blend=all_mode=screen' -start_number 1 $out/o-ffmpeg/g.%04d.png"
  "ffmpeg PNG decode+encode|rm -rf $out/o-ffcopy && mkdir $out/o-ffcopy && ffmpeg -loglevel error -start_number 1 -i $out/in/f.%04d.png -start_number 1 $out/o-ffcopy/g.%04d.png"
  "shimmerly PNG sequence|rm -rf $out/o-png && mkdir $out/o-png && $shimmerly render $out/in/f.####.png -o $out/o-png/g.####.png -q"
  "shimmerly raw pipe|$shimmerly render - --raw $size -o - -q < $out/frames.raw > /dev/null"
)
for ext in ${FORMATS:-tif tga jpg exr dpx bmp webp}; do
  pipelines+=("shimmerly PNG to $ext|rm -rf $out/o-$ext && mkdir $out/o-$ext && $shimmerly render $out/in/f.####.png -o $out/o-$ext/g.####.$ext -q")
done

# Interleaved: run r times every pipeline in turn, so that drift hits them all alike.
declare -A times
for ((r = 0; r < runs; r++)); do
  for p in "${pipelines[@]}"; do
    name=${p%%|*}
    start=$(date +%s.%N)
    bash -c "${p#*|}"
    end=$(date +%s.%N)
    times[$name]+="$(echo "$end - $start" | bc) "
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
reference=$(echo "${times[ffmpeg gblur+blend PNG]}" | median)
printf '%s frames of %s, median of %s interleaved runs\n\n' "$frames" "$size" "$runs"
printf '| pipeline | seconds | ffmpeg gblur+blend seconds / these |\n| --- | --- | --- |\n'
: > "$out/chart.dat"
for p in "${pipelines[@]}"; do
  name=${p%%|*}
  m=$(echo "${times[$name]}" | median)
  printf '| %s | %.2f | %.2f |\n' "$name" "$m" "$(echo "$reference / $m" | bc -l)"
  printf '"%s" %s\n' "$name" "$m" >> "$out/chart.dat"
done
ffmpeg_bytes=$(du -cb "$out"/o-ffmpeg/*.png | tail -1 | cut -f1)
ours_bytes=$(du -cb "$out"/o-png/*.png | tail -1 | cut -f1)
printf '\nPNG bytes: shimmerly %s, ffmpeg %s (%.2fx)\n' "$ours_bytes" "$ffmpeg_bytes" \
  "$(echo "$ours_bytes / $ffmpeg_bytes" | bc -l)"

if command -v gnuplot > /dev/null; then
  gnuplot <<GP
set terminal png size 900,480
set output "$out/bench-cli.png"
set title "$frames frames of $size: seconds (median of $runs runs, lower is faster)"
set style fill solid 0.8
set boxwidth 0.7
set xtics rotate by -35 left
set ylabel "seconds"
set yrange [0:*]
unset key
plot "$out/chart.dat" using 0:2:xtic(1) with boxes lc rgb "#e0a030"
GP
  echo "chart: $out/bench-cli.png"
else
  echo "(gnuplot is not installed: no chart)"
fi
