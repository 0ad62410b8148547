"""Shimmerly: a glow on 8-bit straight RGBA images held in numpy arrays.

    import numpy, shimmerly
    image = numpy.zeros((120, 160, 4), numpy.uint8)
    glowing = shimmerly.render(image, glow_size=40, blend="screen")

The controls take the names and units of `shimmerly render`'s options, and every result equals
that command's output for the same image and options, byte for byte.
"""
import dataclasses
import math
import numbers
import operator

import numpy

from . import _shimmerly

__version__ = _shimmerly.__version__
__all__ = ["Controls", "render", "preset", "preset_names", "__version__"]

# The menus' words, in the order of their numbers from 1, and their counts (mask 5-8 have
# numbers only), from the table the command line reads.
_MENUS = _shimmerly.menus()
_SLIDERS = {
    "bright_cutoff": (0, 100),
    "dark_cutoff": (0, 100),
    "glow_size": (0, 1000),
    "softness": (0, 100),
    "trans_boost": (-100, 100),
}
_SWITCHES = ("show_target", "effect_only")
_DEFAULTS = _shimmerly.default_controls()


def _menu(name, value):
    words, count = _MENUS[name]
    if isinstance(value, str):
        if value in words:
            return words.index(value) + 1
        raise ValueError(f"{name}: expected one of {', '.join(words)} or a number from 1 to "
                         f"{count}, got {value!r}")
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name}: expected a word or a whole number, got {type(value).__name__}")
    number = operator.index(value)
    if not 1 <= number <= count:
        raise ValueError(f"{name}: {number} is outside 1 to {count}")
    return number


def _slider(name, value):
    low, high = _SLIDERS[name]
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name}: expected a number, got {type(value).__name__}")
    number = float(value)
    if not (math.isfinite(number) and low <= number <= high):
        raise ValueError(f"{name}: {number!r} is outside the valid range {low} to {high}")
    return number


def _switch(name, value):
    if isinstance(value, (bool, numpy.bool_)):
        return bool(value)
    raise TypeError(f"{name}: expected True or False, got {type(value).__name__}")


def _color(value):
    if isinstance(value, str):
        text = value.strip()
        for prefix in ("#", "0x", "0X"):
            if text.startswith(prefix):
                text = text[len(prefix):]
                break
        if len(text) != 6 or any(c not in "0123456789abcdefABCDEF" for c in text):
            raise ValueError(f"color: expected six hexadecimal digits RRGGBB, got {value!r}")
        return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))
    try:
        parts = tuple(value)
    except TypeError:
        raise TypeError(f"color: expected 'RRGGBB' or (red, green, blue), got "
                        f"{type(value).__name__}") from None
    if len(parts) != 3 or any(isinstance(p, bool) or not isinstance(p, numbers.Integral)
                              for p in parts):
        raise TypeError(f"color: expected three whole numbers, got {value!r}")
    if any(not 0 <= int(p) <= 255 for p in parts):
        raise ValueError(f"color: each value must be 0 to 255, got {value!r}")
    return tuple(int(p) for p in parts)


def _checked(name, value):
    if name in _MENUS:
        return _menu(name, value)
    if name in _SLIDERS:
        return _slider(name, value)
    if name in _SWITCHES:
        return _switch(name, value)
    return _color(value)


@dataclasses.dataclass
class Controls:
    """The twelve controls of the glow, with the plug-in's defaults.

    Menus are stored as their numbers from 1 and take the command line's words too
    (``Controls(blend="screen").blend == 2``); ``color`` is stored as (red, green, blue) and
    takes "RRGGBB". Values are checked when the object is made.

    mask          none|alpha|brightness|brightness-alpha, or 1-8
    bright_cutoff percent, 0 to 100
    dark_cutoff   percent, 0 to 100
    show_target   show the target as a green preview instead of the glow
    glow_style    front|in|out, or 1-3
    glow_size     pixels, 0 to 1000
    softness      percent, 0 to 100
    color_from    custom|layer, or 1-2
    color         the custom colour, "RRGGBB" or (red, green, blue)
    trans_boost   percent, -100 to 100
    blend         normal|screen|multiply|overlay|add|magic-glue-1|magic-glue-2|magic-glue-3,
                  or 1-8
    effect_only   the glow alone instead of the glow on the image
    """

    mask: int = _DEFAULTS["mask"]
    bright_cutoff: float = _DEFAULTS["bright_cutoff"]
    dark_cutoff: float = _DEFAULTS["dark_cutoff"]
    show_target: bool = _DEFAULTS["show_target"]
    glow_style: int = _DEFAULTS["glow_style"]
    glow_size: float = _DEFAULTS["glow_size"]
    softness: float = _DEFAULTS["softness"]
    color_from: int = _DEFAULTS["color_from"]
    color: tuple = _DEFAULTS["color"]
    trans_boost: float = _DEFAULTS["trans_boost"]
    blend: int = _DEFAULTS["blend"]
    effect_only: bool = _DEFAULTS["effect_only"]

    def __post_init__(self):
        for field in dataclasses.fields(self):
            setattr(self, field.name, _checked(field.name, getattr(self, field.name)))


_FIELDS = tuple(field.name for field in dataclasses.fields(Controls))


def preset_names():
    """The names of the user's presets, as the plug-in's preset popup lists them.

    The first call seeds the user's preset folder (~/Documents/.../Shimmerly Presets) with the
    factory presets."""
    return list(_shimmerly.preset_names())


def preset(name_or_path):
    """The Controls of a preset: a name from preset_names(), or the path of a ".smr" file.

    Raises ValueError for an unknown name or a file that is not a readable preset."""
    if not isinstance(name_or_path, str):
        name_or_path = _path_text(name_or_path)
    return Controls(**_shimmerly.preset_controls(name_or_path))


def _path_text(value):
    import os
    try:
        return os.fsdecode(os.fspath(value))
    except TypeError:
        raise TypeError(f"preset: expected a name or a path, got {type(value).__name__}") from None


def _frame(array, name):
    if not isinstance(array, numpy.ndarray):
        raise TypeError(f"{name} must be a numpy.ndarray, got {type(array).__name__}")
    if array.dtype != numpy.uint8:
        raise TypeError(f"{name} must have dtype uint8, got {array.dtype}")
    if array.ndim != 3 or array.shape[2] != 4:
        raise ValueError(f"{name} must have the shape (height, width, 4) of RGBA pixels, got "
                         f"{array.shape}")


def _rows_usable(array):
    """Whether the engine can take the array as it is: packed pixels, rows at least one row's
    width apart and going down."""
    height, width, _ = array.shape
    if height == 0 or width == 0:
        return True
    return (array.strides[2] == 1 and (width == 1 or array.strides[1] == 4) and
            (height == 1 or array.strides[0] >= width * 4))


def render(image, controls=None, *, preset=None, mask=None, bright_cutoff=None,
           dark_cutoff=None, show_target=None, glow_style=None, glow_size=None, softness=None,
           color_from=None, color=None, trans_boost=None, blend=None, effect_only=None,
           quality="high", threads=0, out=None):
    """Puts the glow on ``image`` and returns the result.

    image     numpy uint8 array of shape (height, width, 4), straight (not premultiplied) RGBA,
              top row first; any strides (views with reversed or gapped pixels are copied first)
    controls  a Controls; or preset, the name or file of a preset (not both)
    keywords  mask, bright_cutoff, ..., effect_only as in Controls: each one given replaces the
              value of controls or preset, as options after --preset do on the command line
    quality   "high" (three box passes) or "low" (one)
    threads   0: one per processor (at most 16); 1: the calling thread only; at most 1024
    out       an array of the image's shape and dtype to write into (it may be image itself);
              a new array is made when not given

    Returns out, or the new array. The GIL is released while the frame renders. Raises
    TypeError or ValueError for bad arguments, ValueError for an unknown or damaged preset.
    """
    _frame(image, "image")
    if controls is not None and preset is not None:
        raise TypeError("render: give controls or preset, not both")
    if controls is None:
        controls = globals()["preset"](preset) if preset is not None else Controls()
    elif not isinstance(controls, Controls):
        raise TypeError(f"controls must be a shimmerly.Controls, got {type(controls).__name__}")
    given = {name: value for name, value in (
        ("mask", mask), ("bright_cutoff", bright_cutoff), ("dark_cutoff", dark_cutoff),
        ("show_target", show_target), ("glow_style", glow_style), ("glow_size", glow_size),
        ("softness", softness), ("color_from", color_from), ("color", color),
        ("trans_boost", trans_boost), ("blend", blend), ("effect_only", effect_only))
        if value is not None}
    # Made afresh so that every value is checked, also of a Controls changed after it was made.
    values = {name: getattr(controls, name) for name in _FIELDS}
    values.update(given)
    chosen = Controls(**values)
    if quality not in ("high", "low"):
        raise ValueError(f"quality: expected 'high' or 'low', got {quality!r}")
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral):
        raise TypeError(f"threads: expected a whole number, got {type(threads).__name__}")
    if not 0 <= threads <= 1024:
        raise ValueError(f"threads: {threads} is outside 0 to 1024")

    if out is None:
        result = target = numpy.empty(image.shape, numpy.uint8)
    else:
        _frame(out, "out")
        if out.shape != image.shape:
            raise ValueError(f"out has the shape {out.shape}, the image {image.shape}")
        if not out.flags.writeable:
            raise ValueError("out is not writable")
        result = out
        target = out if _rows_usable(out) else numpy.empty(image.shape, numpy.uint8)
    source = image if _rows_usable(image) else numpy.ascontiguousarray(image)
    _shimmerly.render(source, target, **{name: getattr(chosen, name) for name in _FIELDS},
                      low_quality=quality == "low", threads=int(threads))
    if target is not result:
        result[...] = target
    return result
