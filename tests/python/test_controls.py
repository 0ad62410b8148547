"""Controls: the library's defaults, words and numbers of the menus as one value, equality and
a repr that makes the same controls again, and presets read as Controls."""
import numpy

import shimmerly
from shimmerly import Controls  # noqa: F401  (eval of a repr below)


def test_defaults_are_the_plug_ins_and_render_as_no_controls(rng):
    image = rng.integers(0, 256, (9, 11, 4), dtype=numpy.uint8)
    assert numpy.array_equal(shimmerly.render(image, shimmerly.Controls()),
                             shimmerly.render(image))
    assert shimmerly.Controls() == shimmerly.Controls(mask="alpha", glow_style="out",
                                                      color_from="custom", blend="normal",
                                                      color="FFFFFF")


def test_words_and_numbers_name_the_same_choice():
    for n, word in enumerate(["normal", "screen", "multiply", "overlay", "add", "magic-glue-1",
                              "magic-glue-2", "magic-glue-3"], start=1):
        assert shimmerly.Controls(blend=word) == shimmerly.Controls(blend=n)
        assert shimmerly.Controls(blend=word).blend == n
    assert shimmerly.Controls(color="#0a0B0c").color == (10, 11, 12)
    assert shimmerly.Controls(color=[10, 11, 12]) == shimmerly.Controls(color="0A0B0C")
    assert shimmerly.Controls(glow_size=10) == shimmerly.Controls(glow_size=10.0)
    assert shimmerly.Controls(glow_size=10) != shimmerly.Controls(glow_size=10.5)


def test_repr_makes_equal_controls():
    controls = shimmerly.Controls(mask=7, bright_cutoff=12.5, show_target=True, glow_size=0.1,
                                  color=(1, 2, 3), trans_boost=-100, effect_only=True)
    assert eval(repr(controls)) == controls
    assert "glow_size=0.1" in repr(controls)


def test_every_preset_reads_as_valid_controls():
    names = shimmerly.preset_names()
    assert names
    presets = [shimmerly.preset(name) for name in names]
    assert all(isinstance(p, shimmerly.Controls) for p in presets)
    assert len({repr(p) for p in presets}) > 1, "the presets differ from one another"


def test_version_is_the_library_version():
    parts = shimmerly.__version__.split(".")
    assert len(parts) == 3 and all(p.isdigit() for p in parts)
