"""The layout of the library's images and their numpy views.

The library hands images over as rows of ``stride`` bytes (the row's pixel bytes
rounded up to a multiple of 4), top row first. The arrays made here are views over such
a buffer whose row step is the stride, so the padding bytes are skipped without a copy.
"""

from typing import NamedTuple, Tuple

import numpy as np

__all__ = ["Layout", "layout", "view"]

# Bits per pixel: (samples per pixel, bytes per sample).
_PIXELS = {8: (1, 1), 16: (1, 2), 24: (3, 1), 32: (4, 1), 48: (3, 2), 64: (4, 2)}
ORDERS = ("bgr", "rgb")


class Layout(NamedTuple):
    """The shape of an image: ``width`` and ``height`` in pixels, ``bits`` per pixel,
    ``stride`` bytes per row."""

    width: int
    height: int
    bits: int
    stride: int

    @property
    def size(self) -> int:
        """Bytes of the whole image as the library copies it: stride x height."""
        return self.stride * self.height

    @property
    def channels(self) -> int:
        """Samples per pixel: 1 (monochrome), 3 (B, G, R) or 4 (B, G, R, unused)."""
        return _PIXELS[self.bits][0]

    @property
    def dtype(self) -> np.dtype:
        """``uint8``, or little-endian ``uint16`` for the 16, 48 and 64-bit modes."""
        return np.dtype(np.uint8) if _PIXELS[self.bits][1] == 1 else np.dtype("<u2")

    @property
    def shape(self) -> Tuple[int, ...]:
        """``(height, width)`` for monochrome images, ``(height, width, channels)``
        for colour ones."""
        if self.channels == 1:
            return (self.height, self.width)
        return (self.height, self.width, self.channels)


def layout(width: int, height: int, bits: int) -> Layout:
    """The layout of a ``width`` x ``height`` image of ``bits`` per pixel."""
    if bits not in _PIXELS:
        raise ValueError("bits per pixel must be 8, 16, 24, 32, 48 or 64, not %r" % (bits,))
    stride = (width * bits // 8 + 3) & ~3
    return Layout(width, height, bits, stride)


def check_order(order: str) -> None:
    """Raises ``ValueError`` unless ``order`` is ``"bgr"`` or ``"rgb"``."""
    if order not in ORDERS:
        raise ValueError('order must be "bgr" or "rgb", not %r' % (order,))


def view(buffer: np.ndarray, shape: Layout, order: str = "bgr") -> np.ndarray:
    """The image in ``buffer`` (``shape.size`` bytes, top row first) as an array.

    The array shares the buffer's memory; the row padding is stepped over. With
    ``order="rgb"`` colour channels come red first: for three channels that is still a
    view (a reversed channel step), for four channels (B, G, R and an unused fourth
    sample) numpy has no such view, so the image is copied.
    """
    check_order(order)
    itemsize = shape.dtype.itemsize
    if shape.channels == 1:
        strides: Tuple[int, ...] = (shape.stride, itemsize)
    else:
        strides = (shape.stride, shape.channels * itemsize, itemsize)
    image = np.ndarray(shape.shape, dtype=shape.dtype, buffer=buffer, strides=strides)
    if order == "rgb" and shape.channels == 3:
        return image[..., ::-1]
    if order == "rgb" and shape.channels == 4:
        return image[..., [2, 1, 0, 3]]
    return image
