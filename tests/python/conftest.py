"""Shared pieces of the Python package's tests: a HOME of its own for every test (the preset
folder lives there), random frames and controls, and `shimmerly render` run on a frame through
PAM files, the command-line host named by the SHIMMERLY_CLI environment variable."""
import os
import subprocess
import zlib

import numpy
import pytest

import shimmerly

MENU_WORDS = {
    "mask": ["none", "alpha", "brightness", "brightness-alpha"],
    "glow_style": ["front", "in", "out"],
    "color_from": ["custom", "layer"],
    "blend": ["normal", "screen", "multiply", "overlay", "add", "magic-glue-1", "magic-glue-2",
              "magic-glue-3"],
}
MENU_COUNTS = {"mask": 8, "glow_style": 3, "color_from": 2, "blend": 8}


@pytest.fixture(autouse=True)
def home(tmp_path, monkeypatch):
    folder = tmp_path / "home"
    folder.mkdir()
    monkeypatch.setenv("HOME", str(folder))
    return folder


def random_image(rng, height, width):
    image = rng.integers(0, 256, (height, width, 4), dtype=numpy.uint8)
    alpha = image[..., 3]
    alpha[rng.random((height, width)) < 0.25] = 0
    alpha[rng.random((height, width)) < 0.2] = 255
    return image


def random_settings(rng):
    """Keywords for render() in a random mix of words and numbers, each also as the options of
    `shimmerly render`."""
    keywords, options = {}, []
    for name, count in MENU_COUNTS.items():
        number = int(rng.integers(1, count + 1))
        words = MENU_WORDS[name]
        value = words[number - 1] if number <= len(words) and rng.random() < 0.5 else number
        keywords[name] = value
        options += ["--" + name.replace("_", "-"), str(value)]
    for name, (low, high) in {"bright_cutoff": (0, 100), "dark_cutoff": (0, 100),
                              "softness": (0, 100), "trans_boost": (-100, 100)}.items():
        keywords[name] = float(rng.uniform(low, high))
    keywords["glow_size"] = float(rng.uniform(0, 1000) if rng.random() < 0.2 else
                                  rng.uniform(0, 30))
    for name in ("bright_cutoff", "dark_cutoff", "softness", "trans_boost", "glow_size"):
        options += ["--" + name.replace("_", "-"), repr(keywords[name])]
    red, green, blue = (int(v) for v in rng.integers(0, 256, 3))
    keywords["color"] = (red, green, blue) if rng.random() < 0.5 else f"{red:02X}{green:02X}{blue:02X}"
    options += ["--color", f"{red:02x}{green:02x}{blue:02x}"]
    for name, chance in (("show_target", 1 / 6), ("effect_only", 1 / 4)):
        keywords[name] = bool(rng.random() < chance)
        if keywords[name]:
            options.append("--" + name.replace("_", "-"))
    return keywords, options


def write_pam(path, image):
    height, width, _ = image.shape
    header = (f"P7\nWIDTH {width}\nHEIGHT {height}\nDEPTH 4\nMAXVAL 255\n"
              "TUPLTYPE RGB_ALPHA\nENDHDR\n").encode()
    path.write_bytes(header + numpy.ascontiguousarray(image).tobytes())


def read_pam(path):
    data = path.read_bytes()
    end = data.index(b"ENDHDR\n") + len(b"ENDHDR\n")
    fields = dict(line.split(" ", 1) for line in data[:end].decode().splitlines()[1:-1])
    height, width = int(fields["HEIGHT"]), int(fields["WIDTH"])
    assert fields["DEPTH"] == "4" and fields["MAXVAL"] == "255"
    return numpy.frombuffer(data[end:], numpy.uint8).reshape(height, width, 4)


@pytest.fixture
def cli_render(tmp_path):
    """Runs `shimmerly render` on an image with the given options; returns its output."""
    program = os.environ.get("SHIMMERLY_CLI")
    if not program:
        pytest.fail("SHIMMERLY_CLI names no shimmerly program (ctest sets it)")
    count = [0]

    def run(image, options):
        count[0] += 1
        source, result = tmp_path / f"in{count[0]}.pam", tmp_path / f"out{count[0]}.pam"
        write_pam(source, image)
        subprocess.run([program, "render", str(source), "-o", str(result), "--overwrite",
                        "--quiet", *options], check=True, env=dict(os.environ))
        return read_pam(result)

    return run


@pytest.fixture
def rng(request):
    """A generator seeded by the test's name: the same numbers on every run."""
    return numpy.random.default_rng(zlib.crc32(request.node.name.encode()))
