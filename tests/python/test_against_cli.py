"""Every render of the package equals `shimmerly render` with the same options, byte for byte:
random frames and controls given as keywords and as Controls, presets with keywords on top,
the low quality and a preset file."""
import shutil

import numpy

import shimmerly
from conftest import random_image, random_settings


def test_random_frames_and_controls_equal_the_command_line(rng, cli_render):
    for case in range(24):
        image = random_image(rng, int(rng.integers(1, 40)), int(rng.integers(1, 50)))
        keywords, options = random_settings(rng)
        low = case % 4 == 0
        quality = ["--quality", "low"] if low else []
        expected = cli_render(image, options + quality)
        by_keywords = shimmerly.render(image, quality="low" if low else "high",
                                       threads=int(rng.integers(0, 3)), **keywords)
        by_controls = shimmerly.render(image, shimmerly.Controls(**keywords),
                                       quality="low" if low else "high")
        assert numpy.array_equal(by_keywords, expected), (case, options)
        assert numpy.array_equal(by_controls, expected), (case, options)


def test_defaults_equal_the_command_line_without_options(rng, cli_render):
    image = random_image(rng, 30, 41)
    assert numpy.array_equal(shimmerly.render(image), cli_render(image, []))


def test_keywords_go_on_top_of_a_preset(rng, cli_render):
    image = random_image(rng, 33, 27)
    names = shimmerly.preset_names()
    assert len(names) >= 2
    for name in names[:4]:
        plain = shimmerly.render(image, preset=name)
        assert numpy.array_equal(plain, cli_render(image, ["--preset", name]))
        changed = shimmerly.render(image, preset=name, glow_size=10, blend="add")
        assert numpy.array_equal(changed, cli_render(image, ["--preset", name, "--glow-size",
                                                             "10", "--blend", "add"]))
        base = shimmerly.preset(name)
        assert numpy.array_equal(shimmerly.render(image, base), plain)


def test_a_preset_file_loads_by_its_path(tmp_path, home):
    name = shimmerly.preset_names()[0]
    found = list(home.rglob(name + ".smr"))
    assert found, "the seeded preset folder holds the preset's file"
    copy = tmp_path / "copied.smr"
    shutil.copyfile(found[0], copy)
    assert shimmerly.preset(str(copy)) == shimmerly.preset(name)
    assert shimmerly.preset(copy) == shimmerly.preset(name)
