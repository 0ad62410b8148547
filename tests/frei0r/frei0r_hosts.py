"""Shared pieces of the frei0r filter's tests in real hosts: seeded random frames and controls,
PNG and PAM files written and read without third-party modules, `shimmerly render` as the
reference, and the command lines of ffmpeg, melt and gst-launch-1.0."""
import os
import random
import shutil
import struct
import subprocess
import tempfile
import zlib

SKIP = 77  # ctest's SKIP_RETURN_CODE for a host program that is not installed

MENUS = {
    "mask": ["none", "alpha", "brightness", "brightness-alpha"], "mask_count": 8,
    "glow_style": ["front", "in", "out"], "glow_style_count": 3,
    "color_from": ["custom", "layer"], "color_from_count": 2,
    "blend": ["normal", "screen", "multiply", "overlay", "add", "magic-glue-1", "magic-glue-2",
              "magic-glue-3"], "blend_count": 8,
}
# The filter's parameters in order, with their frei0r kind.
PARAMS = [("preset", "string"), ("mask", "string"), ("bright_cutoff", "double"),
          ("dark_cutoff", "double"), ("show_target", "bool"), ("glow_style", "string"),
          ("glow_size", "double"), ("softness", "double"), ("color_from", "string"),
          ("color", "color"), ("trans_boost", "double"), ("blend", "string"),
          ("effect_only", "bool"), ("quality", "string")]
DEFAULTS = {"preset": "", "mask": "alpha", "bright_cutoff": 1.0, "dark_cutoff": 0.25,
            "show_target": False, "glow_style": "out", "glow_size": 0.022, "softness": 0.8,
            "color_from": "custom", "color": (255, 255, 255), "trans_boost": 0.5,
            "blend": "normal", "effect_only": False, "quality": "high"}


class Filter:
    """One instance's parameter values (frei0r units) and the same as `shimmerly render`
    options."""

    def __init__(self, values=None, options=None):
        self.values = dict(DEFAULTS, **(values or {}))
        self.options = list(options or [])


def random_filter(rng):
    """Random controls; each double is a control with at most 3 decimals, given to the filter as
    the frei0r value that maps back to it."""
    values, options = {}, []
    for name in ("mask", "glow_style", "color_from", "blend"):
        number = rng.randint(1, MENUS[name + "_count"])
        words = MENUS[name]
        text = words[number - 1] if number <= len(words) and rng.random() < 0.5 else str(number)
        values[name] = text
        options += ["--" + name.replace("_", "-"), text]
    for name, low, high, scale, offset in (("bright_cutoff", 0, 100, 100, 0),
                                           ("dark_cutoff", 0, 100, 100, 0),
                                           ("softness", 0, 100, 100, 0),
                                           ("trans_boost", -100, 100, 200, -100),
                                           ("glow_size", 0, 30, 1000, 0)):
        control = round(rng.uniform(low, high), 3)
        values[name] = (control - offset) / scale
        options += ["--" + name.replace("_", "-"), repr(control)]
    color = tuple(rng.randint(0, 255) for _ in range(3))
    values["color"] = color
    options += ["--color", "%02x%02x%02x" % color]
    for name, chance in (("show_target", 1 / 6), ("effect_only", 1 / 4)):
        values[name] = rng.random() < chance
        if values[name]:
            options.append("--" + name.replace("_", "-"))
    if rng.random() < 0.25:
        values["quality"] = "low"
        options += ["--quality", "low"]
    return Filter(values, options)


def random_frame(rng, width, height):
    pixels = bytearray(rng.getrandbits(8) for _ in range(width * height * 4))
    for i in range(3, len(pixels), 4):
        roll = rng.random()
        pixels[i] = 0 if roll < 0.25 else 255 if roll < 0.45 else pixels[i]
    return Frame(width, height, bytes(pixels))


class Frame:
    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels

    def __eq__(self, other):
        return (self.width, self.height, self.pixels) == (other.width, other.height, other.pixels)

    def __repr__(self):
        return f"Frame({self.width}x{self.height})"


def first_difference(a, b):
    if (a.width, a.height) != (b.width, b.height):
        return f"sizes {a.width}x{a.height} and {b.width}x{b.height}"
    for i in range(len(a.pixels)):
        if a.pixels[i] != b.pixels[i]:
            pixel = i // 4
            return (f"pixel ({pixel % a.width}, {pixel // a.width}) channel {i % 4}: "
                    f"{a.pixels[i]} and {b.pixels[i]}")
    return "none"


def write_png(path, frame):
    rows = b"".join(b"\x00" + frame.pixels[y * frame.width * 4:(y + 1) * frame.width * 4]
                    for y in range(frame.height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body)))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" +
                chunk(b"IHDR", struct.pack(">IIBBBBB", frame.width, frame.height, 8, 6, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows, 1)) + chunk(b"IEND", b""))


def read_png(path):
    data = open(path, "rb").read()
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            width, height, depth, ctype = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and ctype == 6, f"{path}: not 8-bit RGBA (depth {depth}, type {ctype})"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    raw, stride, out, prev = zlib.decompress(idat), width * 4, bytearray(), bytearray(width * 4)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b, c = prev[i], prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += line
        prev = line
    return Frame(width, height, bytes(out))


def write_pam(path, frame):
    header = (f"P7\nWIDTH {frame.width}\nHEIGHT {frame.height}\nDEPTH 4\nMAXVAL 255\n"
              "TUPLTYPE RGB_ALPHA\nENDHDR\n").encode()
    with open(path, "wb") as f:
        f.write(header + frame.pixels)


def read_pam(path):
    data = open(path, "rb").read()
    end = data.index(b"ENDHDR\n") + len(b"ENDHDR\n")
    fields = dict(line.split(" ", 1) for line in data[:end].decode().splitlines()[1:-1])
    return Frame(int(fields["WIDTH"]), int(fields["HEIGHT"]), data[end:])


class Session:
    """A test's folder, HOME (the preset folder lives there) and environment."""

    def __init__(self, plugin_dir, cli):
        self.folder = tempfile.mkdtemp(prefix="shimmerly-frei0r-")
        self.home = os.path.join(self.folder, "home")
        os.mkdir(self.home)
        self.cli = cli
        self.env = dict(os.environ, HOME=self.home, FREI0R_PATH=plugin_dir,
                        GST_REGISTRY_1_0=os.path.join(self.folder, "registry.bin"),
                        LADSPA_PATH=self.folder)
        self.count = 0

    def path(self, name):
        self.count += 1
        return os.path.join(self.folder, f"{self.count}-{name}")

    def run(self, command, timeout=120):
        done = subprocess.run(command, env=self.env, capture_output=True, text=True,
                              timeout=timeout)
        if done.returncode != 0:
            raise AssertionError(f"{command[0]} failed ({done.returncode}): {done.stderr[-2000:]}")
        return done.stderr

    def render(self, frame, options):
        """`shimmerly render` on a frame: the reference."""
        source, result = self.path("in.pam"), self.path("out.pam")
        write_pam(source, frame)
        self.run([self.cli, "render", source, "-o", result, "--overwrite", "--quiet", *options])
        return read_pam(result)

    def close(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def shimmerly_lines(stderr):
    return [line for line in stderr.splitlines() if line.startswith("shimmerly:")]


# Each host's spelling of one parameter's value.
def ffmpeg_value(kind, value):
    if kind == "bool":
        return "y" if value else "n"
    if kind == "color":
        return "0x%02X%02X%02X" % value
    return repr(value) if kind == "double" else value


def melt_value(kind, value):
    if kind == "bool":
        return "1" if value else "0"
    if kind == "color":
        return "#%02x%02x%02x" % value
    return repr(value) if kind == "double" else value


def gst_properties(filter_):
    properties = []
    for name, kind in PARAMS:
        value, key = filter_.values[name], name.replace("_", "-")
        if kind == "bool":
            properties.append(f"{key}={'true' if value else 'false'}")
        elif kind == "color":
            properties += [f"{key}-{c}={v / 255!r}" for c, v in zip("rgb", value)]
        elif kind == "double":
            properties.append(f"{key}={value!r}")
        else:
            properties.append(f'{key}="{value}"')
    return properties


def ffmpeg_filter(filter_):
    values = [ffmpeg_value(kind, filter_.values[name]) for name, kind in PARAMS]
    return "frei0r=filter_name=shimmerly:filter_params=" + "|".join(values)


def melt_filter(filter_):
    return ["-filter", "frei0r.shimmerly"] + [
        f"{name}={melt_value(kind, filter_.values[name])}" for name, kind in PARAMS]


def melt_profile(session, width, height):
    path = session.path("profile")
    with open(path, "w") as f:
        f.write(f"description={width}x{height}\nframe_rate_num=25\nframe_rate_den=1\n"
                f"width={width}\nheight={height}\nprogressive=1\nsample_aspect_num=1\n"
                f"sample_aspect_den=1\ndisplay_aspect_num={width}\ndisplay_aspect_den={height}\n"
                "colorspace=709\n")
    return path


class Host:
    """Runs frames through a chain of filter instances in one host process."""

    program = None

    def __init__(self, session):
        self.session = session

    def run(self, frame, filters):
        raise NotImplementedError


class Ffmpeg(Host):
    program = "ffmpeg"

    def run(self, frame, filters, extra=()):
        source, result = self.session.path("in.rgba"), self.session.path("out.rgba")
        with open(source, "wb") as f:
            f.write(frame.pixels)
        chain = ",".join(ffmpeg_filter(f) for f in filters)
        stderr = self.session.run(["ffmpeg", "-v", "error", "-nostdin", "-f", "rawvideo",
                                   "-pix_fmt", "rgba", "-s", f"{frame.width}x{frame.height}",
                                   "-i", source, *extra, "-vf", chain, "-f", "rawvideo",
                                   "-pix_fmt", "rgba", "-y", result])
        with open(result, "rb") as f:
            return Frame(frame.width, frame.height, f.read()), stderr


class Melt(Host):
    program = "melt"

    def run(self, frame, filters, consumer=()):
        frames, stderr = self.run_sequence([frame], filters, consumer)
        return frames[0], stderr

    def run_sequence(self, frames, filters, consumer=(), filter_extra=()):
        width, height = frames[0].width, frames[0].height
        stem = self.session.path("seq")
        for i, frame in enumerate(frames):
            write_png(f"{stem}-in{i}.png", frame)
        profile = melt_profile(self.session, width, height)
        command = ["melt", "-silent", "-profile", profile, f"avformat:{stem}-in%d.png", "in=0",
                   f"out={len(frames) - 1}"]
        for f in filters:
            command += melt_filter(f) + list(filter_extra)
        # MLT's consumers run in real time by default and drop frames they fall behind on, which
        # a loaded machine makes them do; real_time=-1 renders every frame, on one thread, unless
        # the test asks for threads of its own.
        if not any(c.startswith("real_time=") for c in consumer):
            consumer = ["real_time=-1", *consumer]
        command += ["-consumer", f"avformat:{stem}-out%d.png", "vcodec=png", "pix_fmt=rgba",
                    *consumer]
        # melt sometimes ends before its consumer has written the last frame (seen under load,
        # with no message): a run that leaves a file missing is run again, up to three times.
        # Every file it does write is compared in full.
        outputs = [f"{stem}-out{i + 1}.png" for i in range(len(frames))]  # numbered from 1
        for attempt in range(3):
            for path in outputs:
                if os.path.exists(path):
                    os.remove(path)
            stderr = self.session.run(command)
            if all(os.path.exists(path) for path in outputs):
                break
        return [read_png(path) for path in outputs], stderr


class Gst(Host):
    program = "gst-launch-1.0"

    def run(self, frame, filters):
        source, result = self.session.path("in.png"), self.session.path("out.rgba")
        write_png(source, frame)
        command = ["gst-launch-1.0", "-q", "filesrc", f"location={source}", "!", "pngdec", "!",
                   "videoconvert", "!", "video/x-raw,format=RGBA"]
        for f in filters:
            command += ["!", "frei0r-filter-shimmerly", *gst_properties(f)]
        command += ["!", "videoconvert", "!", "video/x-raw,format=RGBA", "!", "filesink",
                    f"location={result}"]
        stderr = self.session.run(command)
        with open(result, "rb") as f:
            return Frame(frame.width, frame.height, f.read()), stderr


HOSTS = {"ffmpeg": Ffmpeg, "melt": Melt, "gst": Gst}
