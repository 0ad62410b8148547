"""The arrays render() takes and gives: views that are not packed (reversed pixels or rows, a
crop of a larger array, a column-major copy) give the packed result, out= and in-place
rendering write the given array, and an out that is itself a view gets every pixel."""
import numpy
import pytest

import shimmerly
from conftest import random_image

SETTINGS = dict(glow_size=7, blend="screen", mask="brightness", dark_cutoff=10)


@pytest.mark.parametrize("view", [
    lambda a: a[:, ::-1],
    lambda a: a[::-1],
    lambda a: a[::2, ::3],
    lambda a: a[3:20, 5:31],
    lambda a: numpy.asfortranarray(a),
    lambda a: a[..., [2, 1, 0, 3]],
], ids=["mirrored", "flipped", "subsampled", "crop", "column-major", "channels-reordered"])
def test_views_give_the_result_of_their_packed_copy(rng, view):
    image = view(random_image(rng, 26, 37))
    expected = shimmerly.render(numpy.ascontiguousarray(image), **SETTINGS)
    before = image.copy()
    assert numpy.array_equal(shimmerly.render(image, **SETTINGS), expected)
    assert numpy.array_equal(image, before), "the input is never written"


def test_out_and_in_place(rng):
    image = random_image(rng, 21, 19)
    expected = shimmerly.render(image, **SETTINGS)
    out = numpy.full_like(image, 7)
    assert shimmerly.render(image, out=out, **SETTINGS) is out
    assert numpy.array_equal(out, expected)
    copy = image.copy()
    assert shimmerly.render(copy, out=copy, **SETTINGS) is copy
    assert numpy.array_equal(copy, expected)


@pytest.mark.parametrize("place", [
    lambda big: big[2:23, 4:23],
    lambda big: big[2:23, 4:23][:, ::-1],
    lambda big: big[2:44:2, 4:23],
], ids=["crop", "mirrored", "every-other-row"])
def test_an_out_view_gets_its_pixels_and_nothing_around_them(rng, place):
    image = random_image(rng, 21, 19)
    expected = shimmerly.render(image, **SETTINGS)
    big = numpy.full((50, 30, 4), 99, numpy.uint8)
    out = place(big)
    assert shimmerly.render(image, out=out, **SETTINGS) is out
    assert numpy.array_equal(out, expected)
    outside = numpy.ones(big.shape[:2], bool)
    outside[numpy.nonzero(numpy.isin(numpy.arange(big.size // 4).reshape(big.shape[:2]),
                                     _cells(big, out)))] = False
    assert (big[outside] == 99).all()


def _cells(big, view):
    """The pixel numbers of `big` that `view` covers."""
    base = big.__array_interface__["data"][0]
    start = view.__array_interface__["data"][0] - base
    rows = (start + numpy.arange(view.shape[0])[:, None] * view.strides[0] +
            numpy.arange(view.shape[1])[None, :] * view.strides[1]) // 4
    return rows.ravel()


def test_in_place_on_a_crop_of_a_larger_array(rng):
    big = random_image(rng, 40, 40)
    crop = big[5:30, 7:33]
    expected = shimmerly.render(crop.copy(), **SETTINGS)
    around = big.copy()
    shimmerly.render(crop, out=crop, **SETTINGS)
    assert numpy.array_equal(crop, expected)
    around[5:30, 7:33] = expected
    assert numpy.array_equal(big, around)


def test_empty_frames_give_empty_results():
    for shape in [(0, 5, 4), (3, 0, 4)]:
        assert shimmerly.render(numpy.zeros(shape, numpy.uint8)).shape == shape
