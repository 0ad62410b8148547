"""Bad arguments raise TypeError or ValueError with a message naming the fault, and leave out
untouched: wrong types, dtypes and shapes, a read-only out, unknown words and names, values
out of range, and damaged preset files."""
import numpy
import pytest

import shimmerly

IMAGE = numpy.full((6, 8, 4), 128, numpy.uint8)


@pytest.mark.parametrize("call, error, mentions", [
    (lambda: shimmerly.render([[1, 2, 3, 4]]), TypeError, "numpy.ndarray"),
    (lambda: shimmerly.render(IMAGE.astype(numpy.float32)), TypeError, "uint8"),
    (lambda: shimmerly.render(IMAGE.astype(numpy.uint16)), TypeError, "uint8"),
    (lambda: shimmerly.render(IMAGE[..., :3]), ValueError, "(height, width, 4)"),
    (lambda: shimmerly.render(IMAGE[0]), ValueError, "(height, width, 4)"),
    (lambda: shimmerly.render(IMAGE, out=numpy.zeros((6, 7, 4), numpy.uint8)), ValueError,
     "shape"),
    (lambda: shimmerly.render(IMAGE, out=numpy.zeros((6, 8, 4), numpy.int8)), TypeError,
     "uint8"),
    (lambda: shimmerly.render(IMAGE, mask="glow"), ValueError, "brightness-alpha"),
    (lambda: shimmerly.render(IMAGE, mask=9), ValueError, "outside 1 to 8"),
    (lambda: shimmerly.render(IMAGE, glow_style=0), ValueError, "outside 1 to 3"),
    (lambda: shimmerly.render(IMAGE, blend="lighten"), ValueError, "magic-glue-3"),
    (lambda: shimmerly.render(IMAGE, color_from=2.0), TypeError, "color_from"),
    (lambda: shimmerly.render(IMAGE, glow_size=1000.5), ValueError, "0 to 1000"),
    (lambda: shimmerly.render(IMAGE, softness=-1), ValueError, "softness"),
    (lambda: shimmerly.render(IMAGE, trans_boost=float("nan")), ValueError, "trans_boost"),
    (lambda: shimmerly.render(IMAGE, dark_cutoff="50"), TypeError, "dark_cutoff"),
    (lambda: shimmerly.render(IMAGE, show_target=1), TypeError, "show_target"),
    (lambda: shimmerly.render(IMAGE, color="FF00"), ValueError, "RRGGBB"),
    (lambda: shimmerly.render(IMAGE, color="GG0000"), ValueError, "RRGGBB"),
    (lambda: shimmerly.render(IMAGE, color=(255, 0, 256)), ValueError, "0 to 255"),
    (lambda: shimmerly.render(IMAGE, color=(255, 0)), TypeError, "three"),
    (lambda: shimmerly.render(IMAGE, quality="best"), ValueError, "quality"),
    (lambda: shimmerly.render(IMAGE, threads=-1), ValueError, "threads"),
    (lambda: shimmerly.render(IMAGE, threads=2000), ValueError, "threads"),
    (lambda: shimmerly.render(IMAGE, {"glow_size": 3}), TypeError, "Controls"),
    (lambda: shimmerly.render(IMAGE, shimmerly.Controls(), preset="Moonlight"), TypeError,
     "not both"),
    (lambda: shimmerly.render(IMAGE, preset="No Such Preset"), ValueError, "No Such Preset"),
    (lambda: shimmerly.preset("No Such Preset"), ValueError, "available"),
    (lambda: shimmerly.preset(42), TypeError, "preset"),
    (lambda: shimmerly.Controls(blend=0), ValueError, "blend"),
], ids=lambda p: p if isinstance(p, str) else None)
def test_bad_calls_raise_with_a_clear_message(call, error, mentions):
    with pytest.raises(error) as raised:
        call()
    assert mentions in str(raised.value)


def test_a_read_only_out_is_refused_and_untouched():
    out = numpy.full((6, 8, 4), 3, numpy.uint8)
    out.flags.writeable = False
    with pytest.raises(ValueError, match="not writable"):
        shimmerly.render(IMAGE, out=out)
    assert (out == 3).all()


def test_a_changed_controls_is_checked_when_rendered():
    controls = shimmerly.Controls()
    controls.glow_size = 5000
    out = numpy.full_like(IMAGE, 3)
    with pytest.raises(ValueError, match="glow_size"):
        shimmerly.render(IMAGE, controls, out=out)
    assert (out == 3).all()


@pytest.mark.parametrize("content", [b"", b"not a preset at all\n" * 8, bytes(range(256)) * 4])
def test_damaged_preset_files_raise_value_error(tmp_path, content):
    damaged = tmp_path / "damaged.smr"
    damaged.write_bytes(content)
    with pytest.raises(ValueError, match="damaged.smr"):
        shimmerly.preset(str(damaged))
    with pytest.raises(ValueError):
        shimmerly.render(IMAGE, preset=str(damaged))

