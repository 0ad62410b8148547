# Type stub of the package `shimmerly`: the parameters and types of its public functions and of
# Controls, for editors and type checkers (the functions are checked at run time as well).
import os
from typing import Literal, Optional, Tuple, Union

import numpy
import numpy.typing

__version__: str

_Menu = Union[int, str]
_Color = Union[str, Tuple[int, int, int]]

class Controls:
    mask: int
    bright_cutoff: float
    dark_cutoff: float
    show_target: bool
    glow_style: int
    glow_size: float
    softness: float
    color_from: int
    color: Tuple[int, int, int]
    trans_boost: float
    blend: int
    effect_only: bool
    def __init__(
        self,
        mask: _Menu = 2,
        bright_cutoff: float = 100.0,
        dark_cutoff: float = 25.0,
        show_target: bool = False,
        glow_style: _Menu = 3,
        glow_size: float = 22.0,
        softness: float = 80.0,
        color_from: _Menu = 1,
        color: _Color = (255, 255, 255),
        trans_boost: float = 0.0,
        blend: _Menu = 1,
        effect_only: bool = False,
    ) -> None: ...
    def __eq__(self, other: object) -> bool: ...

def render(
    image: numpy.typing.NDArray[numpy.uint8],
    controls: Optional[Controls] = None,
    *,
    preset: Optional[Union[str, os.PathLike[str]]] = None,
    mask: Optional[_Menu] = None,
    bright_cutoff: Optional[float] = None,
    dark_cutoff: Optional[float] = None,
    show_target: Optional[bool] = None,
    glow_style: Optional[_Menu] = None,
    glow_size: Optional[float] = None,
    softness: Optional[float] = None,
    color_from: Optional[_Menu] = None,
    color: Optional[_Color] = None,
    trans_boost: Optional[float] = None,
    blend: Optional[_Menu] = None,
    effect_only: Optional[bool] = None,
    quality: Literal["high", "low"] = "high",
    threads: int = 0,
    out: Optional[numpy.typing.NDArray[numpy.uint8]] = None,
) -> numpy.typing.NDArray[numpy.uint8]: ...
def preset_names() -> list[str]: ...
def preset(name_or_path: Union[str, os.PathLike[str]]) -> Controls: ...
