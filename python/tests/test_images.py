"""Arrays of every colour mode and sub-sample, against the library's own image copy."""

import ctypes

import numpy as np
import pytest

import orvix

# 1359 pixels wide: the rows of 1359, 679 and 339 pixels of the 8, 16, 24 and 48-bit
# modes carry padding bytes in the library's copy, which the arrays must step over
# (4 and 8-byte pixels never need padding).
WINDOW = (1, 4, 1359, 300)

MODES = {
    8: ((), np.uint8), 16: ((), np.uint16), 24: ((3,), np.uint8),
    32: ((4,), np.uint8), 48: ((3,), np.uint16), 64: ((4,), np.uint16),
}


def library_copy(cam, top_down):
    """The last image as Orvix_GetImage copies it: rows of `stride` bytes."""
    shape = cam.layout
    raw = ctypes.create_string_buffer(shape.size)
    assert cam.library.Orvix_GetImage(cam.handle, raw, shape.size, top_down) == 1
    return np.frombuffer(raw.raw, np.uint8).reshape(shape.height, shape.stride)


def as_rows(image):
    """The array's pixels as bytes, row by row (no padding)."""
    return np.ascontiguousarray(image).view(np.uint8).reshape(image.shape[0], -1)


@pytest.mark.parametrize("bits", sorted(MODES))
def test_every_mode_and_sub_sample_has_its_shape_dtype_and_the_library_pixels(cam, bits):
    cam.color_mode = bits
    cam.capture_window = WINDOW
    channels, dtype = MODES[bits]
    for sub_sample, divisor in ((0, 1), (1, 2), (2, 4)):
        cam.sub_sample = sub_sample
        image = cam.snap()
        height, width = 300 // divisor, 1359 // divisor
        assert image.shape == (height, width) + channels
        assert image.dtype == dtype
        assert cam.shape == image.shape and cam.dtype == image.dtype
        row_bytes = width * bits // 8
        assert image.strides[0] == cam.layout.stride
        if bits % 32:  # row padding is stepped over, not copied away
            assert cam.layout.stride > row_bytes and not image.flags.c_contiguous
        else:
            assert cam.layout.stride == row_bytes and image.flags.c_contiguous
        assert np.array_equal(as_rows(image), library_copy(cam, 1)[:, :row_bytes])
        assert np.array_equal(as_rows(image[::-1]), library_copy(cam, 0)[:, :row_bytes])
        if dtype == np.uint16:
            assert image.max() <= 1023 and image.max() > 0  # 10-bit samples


def test_an_unpadded_image_is_one_contiguous_array(cam):
    cam.color_mode = 24
    image = cam.snap()
    assert image.shape == (1024, 1360, 3) and image.flags.c_contiguous


@pytest.mark.parametrize("bits", [24, 48, 32, 64])
def test_rgb_order_puts_red_first(cam, bits):
    cam.color_mode = bits
    cam.capture_window = (0, 0, 1360, 768)  # the colour bars: white, yellow, cyan, ...
    bgr = cam.snap()
    rgb = cam.image(order="rgb")
    assert np.array_equal(rgb[..., :3], bgr[..., 2::-1])
    if bits in (24, 48):
        assert rgb.strides[2] < 0  # still a view: the channel step is reversed
    else:
        assert np.array_equal(rgb[..., 3], bgr[..., 3])  # the fourth sample stays last
    yellow = rgb[384, 170 + 85]
    assert yellow[0] > 2 * yellow[2] and yellow[1] > 2 * yellow[2]


def test_unknown_channel_order_is_refused_before_capturing(cam):
    with pytest.raises(ValueError, match='order must be "bgr" or "rgb"'):
        cam.snap(order="grb")


def test_image_is_the_last_snapshot(cam):
    cam.capture_window = (0, 928, 1360, 96)  # the moving marker's lines
    first = cam.snap()
    assert np.array_equal(cam.image(), first)
    second = cam.snap()
    assert not np.array_equal(second, first)
    assert np.array_equal(cam.image(), second)
    cam.color_mode = 8  # a new mode does not change the shape of the image already taken
    assert cam.image().shape == second.shape


@pytest.mark.parametrize("name, signature", [("a.png", b"\x89PNG"), ("a.bmp", b"BM"), ("a.jpg", b"\xff\xd8"),
                                             ("a.tif", b"II*\x00")])
def test_save_writes_the_format_of_the_extension(cam, tmp_path, name, signature):
    cam.snap()
    path = tmp_path / name
    assert cam.save(path) == path
    assert path.read_bytes().startswith(signature)


def test_save_raw_is_the_library_copy(cam, tmp_path):
    cam.color_mode = 16
    cam.capture_window = WINDOW
    cam.snap()
    cam.save(tmp_path / "frame.raw")
    assert (tmp_path / "frame.raw").read_bytes() == library_copy(cam, 1).tobytes()


def test_save_refuses_unknown_formats_and_qualities(cam, tmp_path):
    with pytest.raises(ValueError, match="cannot tell the image format"):
        cam.save(tmp_path / "frame.gif")
    with pytest.raises(ValueError, match="quality must be 100, 70 or 20"):
        cam.save(tmp_path / "frame.jpg", quality=50)


def test_save_before_any_frame_says_so(cam, tmp_path):
    with pytest.raises(orvix.Error, match="no frame has been taken yet") as raised:
        cam.save(tmp_path / "frame.png")
    assert raised.value.code == 0
    assert not (tmp_path / "frame.png").exists()
