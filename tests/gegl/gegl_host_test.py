#!/usr/bin/env python3
"""The GEGL operation shimmerly:glow in the real `gegl` command, headless, against
`shimmerly render` with the same options: both decoded to RGBA and compared byte for byte.

    gegl_host_test.py GROUP MODULE_DIR SHIMMERLY_CLI

GROUP is one of:
  random    seeded random frames of odd sizes under random properties
  presets   a factory preset by name and by path, with properties on top of it
  errors    an unknown preset, a damaged preset file and a word no menu has: one clear message,
            no crash, the other properties applied
  graph     two shimmerly:glow nodes with different properties in one graph

Exits 77 (skipped) when there is no `gegl` command or no built module.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import png_rgba  # noqa: E402

SKIP = 77
# The command line's spelling of each property's value, for the ones the two spell differently:
# Mask's shape targets have numbers only on the command line.
MASK_NUMBERS = {"circle": "5", "circle-alpha": "6", "square": "7", "square-alpha": "8"}
MASK = ["none", "alpha", "brightness", "brightness-alpha", *MASK_NUMBERS]
GLOW_STYLE = ["front", "in", "out"]
COLOR_FROM = ["custom", "layer"]
BLEND = ["normal", "screen", "multiply", "overlay", "add",
         "magic-glue-1", "magic-glue-2", "magic-glue-3"]


class Failure(Exception):
    pass


class Hosts:
    """Runs `gegl` with the build's module and `shimmerly render`, in one throw-away home whose
    preset folder both seed from the factory presets."""

    def __init__(self, module_dir, cli, work):
        self.cli, self.work = cli, work
        self.env = dict(os.environ, HOME=os.path.join(work, "home"), GEGL_SWAP="RAM")
        os.makedirs(self.env["HOME"], exist_ok=True)
        system = subprocess.run(["pkg-config", "--variable=pluginsdir", "gegl-0.4"],
                                capture_output=True, text=True).stdout.strip()
        self.env["GEGL_PATH"] = module_dir + (":" + system if system else "")
        self.count = 0

    def path(self, name):
        return os.path.join(self.work, name)

    def new_name(self, stem):
        self.count += 1
        return self.path(f"{stem}-{self.count}.png")

    def gegl(self, source, chain, allow_messages=False):
        """The RGBA of `source` through the gegl chain `chain` (a list of words), and stderr."""
        out = self.new_name("gegl")
        args = ["gegl", "--", "gegl:load", f"path={source}", *chain,
                "gegl:png-save", f"path={out}", "bitdepth=8"]
        run = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=120)
        if run.returncode != 0:
            raise Failure(f"gegl exited with {run.returncode}: {' '.join(args)}\n{run.stderr}")
        if run.stderr.strip() and not allow_messages:
            raise Failure(f"gegl said something unexpected: {' '.join(args)}\n{run.stderr}")
        return png_rgba.read(out), run.stderr

    def shimmerly(self, source, options):
        out = self.new_name("cli")
        args = [self.cli, "render", source, "-o", out, "--quiet", "--overwrite", *options]
        run = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=120)
        if run.returncode != 0:
            raise Failure(f"shimmerly exited with {run.returncode}: {' '.join(args)}\n{run.stderr}")
        return png_rgba.read(out), out


def random_frame(rng, path):
    """An image of odd size with soft blobs, noise and varied alpha, so that every mask finds
    something to glow and no test passes on a blank frame."""
    w, h = rng.randrange(21, 160, 2), rng.randrange(15, 120, 2)
    blobs = [(rng.uniform(0, w), rng.uniform(0, h), rng.uniform(3, 25),
              [rng.randrange(256) for _ in range(4)]) for _ in range(4)]
    data = bytearray()
    for y in range(h):
        for x in range(w):
            px = [rng.randrange(40), rng.randrange(40), rng.randrange(40), rng.randrange(256)]
            for bx, by, r, colour in blobs:
                if (x - bx) ** 2 + (y - by) ** 2 < r * r:
                    px = colour
            data += bytes(px)
    png_rgba.write(path, w, h, bytes(data))
    return w, h


def random_properties(rng):
    """Some properties at random values: the gegl words and the matching command-line options."""
    gegl, cli = [], []

    def menu(name, words):
        word = rng.choice(words)
        gegl.append(f"{name.replace('_', '-')}={word}")
        cli.extend([f"--{name.replace('_', '-')}", MASK_NUMBERS.get(word, word)])

    def number(name, low, high, digits):
        text = f"{rng.uniform(low, high):.{digits}f}"
        gegl.append(f"{name.replace('_', '-')}={text}")
        cli.extend([f"--{name.replace('_', '-')}", text])

    def flag(name):
        gegl.append(f"{name.replace('_', '-')}=true")
        cli.append(f"--{name.replace('_', '-')}")

    choices = {
        "mask": lambda: menu("mask", MASK),
        "bright_cutoff": lambda: number("bright_cutoff", 40, 100, 1),
        "dark_cutoff": lambda: number("dark_cutoff", 0, 60, 2),
        "show_target": lambda: flag("show_target"),
        "glow_style": lambda: menu("glow_style", GLOW_STYLE),
        "glow_size": lambda: number("glow_size", 0, 60, rng.choice([0, 1, 3])),
        "softness": lambda: number("softness", 0, 100, 1),
        "color_from": lambda: menu("color_from", COLOR_FROM),
        "trans_boost": lambda: number("trans_boost", -100, 100, 1),
        "blend": lambda: menu("blend", BLEND),
        "effect_only": lambda: flag("effect_only"),
    }
    names = rng.sample(sorted(choices), rng.randrange(2, 8))
    for name in names:
        if name == "show_target" and rng.random() < 0.7:
            continue  # the preview hides the glow; keep it rare
        choices[name]()
    if rng.random() < 0.6:
        colour = "".join(f"{rng.randrange(256):02x}" for _ in range(3))
        gegl.append(f"color=#{colour}")
        cli.extend(["--color", colour.upper()])
    if rng.random() < 0.3:
        gegl.append("quality=low")
        cli.extend(["--quality", "low"])
    return gegl, cli


def expect_same(what, got, want):
    (gw, gh, gp), (ww, wh, wp) = got, want
    if (gw, gh) != (ww, wh):
        raise Failure(f"{what}: gegl gave {gw}x{gh}, shimmerly {ww}x{wh}")
    if gp != wp:
        first = next(i for i in range(len(gp)) if gp[i] != wp[i])
        differ = sum(1 for i in range(0, len(gp), 4) if gp[i:i + 4] != wp[i:i + 4])
        raise Failure(f"{what}: {differ} of {gw * gh} pixels differ, the first at "
                      f"({first // 4 % gw}, {first // 4 // gw}): gegl "
                      f"{tuple(gp[first // 4 * 4:first // 4 * 4 + 4])}, shimmerly "
                      f"{tuple(wp[first // 4 * 4:first // 4 * 4 + 4])}")


def expect_said(what, stderr, text, times=1):
    said = [line for line in stderr.splitlines() if text in line]
    if len(said) != times:
        raise Failure(f"{what}: expected {times} line(s) with {text!r} on stderr, got:\n{stderr}")


def in_parallel(cases):
    """Runs the cases (functions) two at a time, as the machine's two cores allow."""
    with ThreadPoolExecutor(max_workers=2) as pool:
        for future in [pool.submit(case) for case in cases]:
            future.result()


def test_random(hosts):
    rng = random.Random(20261209)
    cases = []
    for i in range(12):
        source = hosts.path(f"random-{i}.png")
        size = random_frame(rng, source)
        gegl, cli = random_properties(rng)

        def case(source=source, gegl=gegl, cli=cli, size=size):
            what = f"{size[0]}x{size[1]} frame, {' '.join(gegl)}"
            expect_same(what, hosts.gegl(source, ["shimmerly:glow", *gegl])[0],
                        hosts.shimmerly(source, cli)[0])
            print(f"ok  {what}")
        cases.append(case)
    in_parallel(cases)


def test_presets(hosts, factory_dir):
    rng = random.Random(7)
    source = hosts.path("presets.png")
    random_frame(rng, source)
    copied = hosts.path("Golden Halo copy.smr")
    shutil.copy(os.path.join(factory_dir, "Golden Halo.smr"), copied)
    cases = [
        ("a factory preset by name", ["preset=Golden Halo"], ["--preset", "Golden Halo"]),
        ("properties on top of a preset", ["preset=Golden Halo", "glow-size=37.5", "blend=add"],
         ["--preset", "Golden Halo", "--glow-size", "37.5", "--blend", "add"]),
        ("a preset file by path", [f"preset={copied}", "softness=12"],
         ["--preset", "Golden Halo", "--softness", "12"]),
    ]

    def check(what, gegl, cli):
        expect_same(what, hosts.gegl(source, ["shimmerly:glow", *gegl])[0],
                    hosts.shimmerly(source, cli)[0])
        print(f"ok  {what}")
    # The preset must change the picture, or the cases would pass without it.
    plain = hosts.shimmerly(source, [])[0]
    if plain == hosts.shimmerly(source, ["--preset", "Golden Halo"])[0]:
        raise Failure("the preset Golden Halo renders as the defaults do; pick another")
    in_parallel([lambda c=c: check(*c) for c in cases])


def test_errors(hosts):
    rng = random.Random(11)
    source = hosts.path("errors.png")
    random_frame(rng, source)
    damaged = hosts.path("damaged.smr")
    with open(damaged, "wb") as f:
        f.write(b"\x00\x01 not a preset \xff" * 8)
    other = ["glow-size=9", "blend=screen", "color=#30c0ff"]
    want = hosts.shimmerly(source, ["--glow-size", "9", "--blend", "screen", "--color", "30C0FF"])[0]
    cases = [
        ("an unknown preset", ["preset=No Such Look"], 'no preset named "No Such Look"'),
        ("a damaged preset file", [f"preset={damaged}"], "did not load"),
        ("a word no menu has", ["mask=sparkly"], "sparkly"),
    ]

    def check(what, bad, message):
        got, stderr = hosts.gegl(source, ["shimmerly:glow", *bad, *other], allow_messages=True)
        expect_said(what, stderr, message)
        expect_same(what, got, want)
        print(f"ok  {what}: {stderr.strip().splitlines()[0]}")
    in_parallel([lambda c=c: check(*c) for c in cases])


def test_graph(hosts):
    rng = random.Random(5)
    source = hosts.path("graph.png")
    random_frame(rng, source)
    first = ["mask=brightness", "dark-cutoff=40", "glow-size=6", "color=#ff4000"]
    second = ["glow-style=front", "glow-size=18.5", "blend=screen", "color-from=layer"]
    middle, middle_path = hosts.shimmerly(source, ["--mask", "brightness", "--dark-cutoff", "40",
                                                   "--glow-size", "6", "--color", "FF4000"])
    want = hosts.shimmerly(middle_path, ["--glow-style", "front", "--glow-size", "18.5",
                                         "--blend", "screen", "--color-from", "layer"])[0]
    got = hosts.gegl(source, ["shimmerly:glow", *first, "shimmerly:glow", *second])[0]
    expect_same("two nodes in one chain", got, want)
    print("ok  two nodes in one chain")
    # Each node says what is wrong with its own preset, once.
    got, stderr = hosts.gegl(source, ["shimmerly:glow", "preset=Missing One", *first,
                                      "shimmerly:glow", "preset=Missing Two", *second],
                             allow_messages=True)
    expect_said("two nodes with bad presets", stderr, '"Missing One"')
    expect_said("two nodes with bad presets", stderr, '"Missing Two"')
    expect_same("two nodes with bad presets", got, want)
    print("ok  two nodes with bad presets")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    group, module_dir, cli = sys.argv[1:]
    if shutil.which("gegl") is None or not os.path.exists(os.path.join(module_dir, "shimmerly.so")):
        print("skipped: no gegl command or no GEGL module (apt-get install gegl libgegl-dev)")
        return SKIP
    with tempfile.TemporaryDirectory(prefix="shimmerly-gegl-") as work:
        hosts = Hosts(module_dir, cli, work)
        try:
            if group == "random":
                test_random(hosts)
            elif group == "presets":
                test_presets(hosts, os.path.join(module_dir, "Shimmerly Presets"))
            elif group == "errors":
                test_errors(hosts)
            elif group == "graph":
                test_graph(hosts)
            else:
                sys.exit(f"unknown group {group!r}")
        except Failure as failure:
            print(f"FAIL {failure}")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
