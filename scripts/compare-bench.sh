#!/usr/bin/env bash
# Whole-frame render times of two builds on this machine, in one run: each configuration of the
# render benchmark (1080p and 4K, both qualities, glow sizes 2, 22 and 500, 1 and 2 threads) is
# timed on the earlier build and then on the later one, so that both see the same machine load.
# Usage: scripts/compare-bench.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR [MIN_SECONDS]
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 BEFORE_BUILD_DIR AFTER_BUILD_DIR [MIN_SECONDS]" >&2
  exit 2
fi
before=$(cd "$1" && pwd)/shimmerly_fast_render_bench
after=$(cd "$2" && pwd)/shimmerly_fast_render_bench
seconds=${3:-0.5}
for program in "$before" "$after"; do
  [ -x "$program" ] || { echo "$0: no benchmark program at $program" >&2; exit 1; }
done

printf '%-6s %-5s %5s %8s %11s %11s %8s\n' frame qual size threads before_ms after_ms speedup
for height in 1080 2160; do
  for low in 0 1; do
    for size in 2 22 500; do
      for threads in 1 2; do
        filter="BM_Render/h:$height/low:$low/size:$size/threads:$threads/"
        time_of() {
          (cd "$(dirname "$1")" && "$1" --benchmark_filter="$filter" \
            --benchmark_min_time="$seconds" --benchmark_format=csv 2>/dev/null) |
            awk -F, '/^"BM_Render/ { print $3 }'
        }
        b=$(time_of "$before")
        a=$(time_of "$after")
        quality=$([ "$low" = 1 ] && echo low || echo high)
        awk -v h="${height}p" -v q="$quality" -v s="$size" -v t="$threads" -v b="$b" -v a="$a" \
          'BEGIN { printf "%-6s %-5s %5s %8s %11.2f %11.2f %7.2fx\n", h, q, s, t, b, a, b / a }'
      done
    done
  done
done
