#!/usr/bin/env bash
# Renders the README gallery into docs/gallery/: the sample image (drawn by make_sample.py), a
# contact sheet of the factory presets, one of the eight blend modes, a keyframed glow shown
# as a strip of frames, and one glow made by the frei0r filter in ffmpeg, melt and GStreamer side
# by side (when the hosts and the filter are there). Uses the shimmerly of a build folder (default build/release, built when
# missing) and a throw-away HOME, so that the user's own preset folder is not touched.
# Usage: scripts/gallery.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
shimmerly="$build/shimmerly"
out=docs/gallery
if [ ! -x "$shimmerly" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target shimmerly
fi
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home"
mkdir -p "$out"

python3 scripts/make_sample.py "$out/sample.png" 480 270

# One tile per factory preset.
"$shimmerly" contact-sheet "$out/sample.png" -o "$out/presets.png" --tile-size 240 \
  --overwrite --quiet

# One tile per blend mode: a warm glow from the bright parts of the picture.
"$shimmerly" contact-sheet "$out/sample.png" -o "$out/blend-modes.png" --blend-modes \
  --mask brightness --glow-style front --dark-cutoff 50 --glow-size 24 --color FFB040 \
  --softness 70 --tile-size 240 --overwrite --quiet

# A glow that grows and shifts colour over five frames, laid out side by side.
frames="$home/frames"
mkdir -p "$frames"
"$shimmerly" render "$out/sample.png" -o "$frames/glow.####.png" --frames 1-5 \
  --mask brightness --glow-style front --dark-cutoff 50 --glow-size 4@1,60@5 \
  --color 40C0FF@1,FF6040@5 --softness 35 --blend screen --quiet
python3 - "$frames" "$out/keyframes.png" <<'PY'
import struct, sys, zlib

def read_png(path):
    data = open(path, "rb").read()
    pos, idat, w, h = 8, b"", 0, 0
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            w, h, depth, ctype = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and ctype == 6, "expects 8-bit RGBA"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    raw, stride, rows, prev = zlib.decompress(idat), w * 4, [], bytearray(w * 4)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b, c = prev[i], prev[i - 4] if i >= 4 else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line)); prev = line
    return w, h, rows

folder, target = sys.argv[1], sys.argv[2]
frames = [read_png(f"{folder}/glow.{i:04d}.png") for i in range(1, 6)]
# Every other pixel of every other row: a half-size strip.
w, h = frames[0][0] // 2, frames[0][1] // 2
rows = []
for y in range(h):
    row = b"".join(b"".join(r[2 * y][8 * x:8 * x + 4] for x in range(w)) for _, _, r in frames)
    rows.append(b"\x00" + row)
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
with open(target, "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w * 5, h, 8, 6, 0, 0, 0)))
    f.write(chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
PY
# One glow through each frei0r host, side by side: ffmpeg, melt, gst-launch-1.0.
if [ -f "$build/frei0r-1/shimmerly.so" ] && command -v ffmpeg >/dev/null && command -v melt >/dev/null &&
  command -v gst-launch-1.0 >/dev/null; then
  export FREI0R_PATH="$PWD/$build/frei0r-1" GST_REGISTRY_1_0="$home/registry.bin"
  hosts="$home/hosts"
  mkdir -p "$hosts"
  ffmpeg -v error -i "$out/sample.png" -vf \
    "frei0r=filter_name=shimmerly:filter_params=|brightness|1|0.5|n|front|0.024|0.7|custom|0xFFB040|0.5|screen" \
    -pix_fmt rgba -y "$hosts/ffmpeg.png"
  printf 'description=480x270\nframe_rate_num=25\nframe_rate_den=1\nwidth=480\nheight=270\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num=16\ndisplay_aspect_den=9\ncolorspace=709\n' \
    >"$hosts/profile"
  melt -silent -profile "$hosts/profile" "avformat:$out/sample.png" in=0 out=0 \
    -filter frei0r.shimmerly mask=brightness glow_style=front dark_cutoff=0.5 glow_size=0.024 \
    color='#ffb040' softness=0.7 blend=screen \
    -consumer "avformat:$hosts/melt.png" vcodec=png pix_fmt=rgba update=1 2>/dev/null
  gst-launch-1.0 -q filesrc location="$out/sample.png" ! pngdec ! videoconvert ! \
    video/x-raw,format=RGBA ! frei0r-filter-shimmerly mask=brightness glow-style=front \
    dark-cutoff=0.5 glow-size=0.024 color-r=1 color-g=0.690196 color-b=0.250980 softness=0.7 \
    blend=screen ! videoconvert ! video/x-raw,format=RGBA ! pngenc ! filesink location="$hosts/gst.png"
  ffmpeg -v error -i "$hosts/ffmpeg.png" -i "$hosts/melt.png" -i "$hosts/gst.png" \
    -filter_complex "[0][1][2]hstack=inputs=3,scale=iw/2:ih/2:flags=area" -pix_fmt rgba -y \
    "$out/frei0r-hosts.png"
fi
# The same sample through the GEGL operation in the gegl command, when the build has the module.
if [ -f "$build/gegl-0.4/shimmerly.so" ] && command -v gegl > /dev/null; then
  GEGL_PATH="$build/gegl-0.4:$(pkg-config --variable=pluginsdir gegl-0.4)" gegl -- \
    gegl:load path="$out/sample.png" \
    shimmerly:glow mask=brightness glow-style=front dark-cutoff=45 glow-size=30 color=#ff9040 \
    blend=screen \
    gegl:png-save path="$out/gegl.png" bitdepth=8
fi
ls -l "$out"
