"""Python access to the OrvixSdk K62DT4 camera SDK, over its public C interface.

::

    import orvix
    print(orvix.cameras())              # [(0, 'OrvixK62DT4_01'), ...]
    with orvix.Camera(slot=0) as cam:
        cam.color_mode = 24
        img = cam.snap()                # numpy array, (1024, 1360, 3) uint8, B, G, R
        for frame in cam.stream(frames=10):
            ...

The library is found through ``ORVIX_LIBRARY``, then beside this package, then the
system loader (see `orvix._library`). Failed calls raise `Error`; values outside a
setting's range raise ``ValueError`` before the library is called.
"""

from ._library import Library, LibraryNotFound
from ._library import library as _load_library
from .camera import SENSOR_HEIGHT, SENSOR_WIDTH, Camera, CameraInfo, Monitor, cameras
from .errors import (
    ERR_DEVICE_IO, ERR_FRAME_TRANSFER, ERR_GEOMETRY, ERR_MEMORY, ERR_MONITOR_REQUEST, ERR_NO_CAMERA,
    ERR_NOT_INITIALIZED, ERR_PARAMETER, ERR_THREAD, ERR_TRANSFER_STOPPED, ERR_UNSUPPORTED, ERR_WINDOW,
    ERROR_CODES, Error, GeometryWarning, StreamTimeout,
)
from .image import Layout
from .settings import SETTINGS, Setting
from .stream import Stream

__version__ = "24.5.0"

__all__ = [
    "Camera", "CameraInfo", "Error", "GeometryWarning", "Layout", "Library", "LibraryNotFound", "Monitor",
    "SENSOR_HEIGHT", "SENSOR_WIDTH", "SETTINGS", "Setting", "Stream", "StreamTimeout", "ERROR_CODES",
    "cameras", "library", "library_version",
    "ERR_NOT_INITIALIZED", "ERR_NO_CAMERA", "ERR_THREAD", "ERR_WINDOW", "ERR_MEMORY", "ERR_DEVICE_IO",
    "ERR_GEOMETRY", "ERR_FRAME_TRANSFER", "ERR_PARAMETER", "ERR_UNSUPPORTED", "ERR_TRANSFER_STOPPED",
    "ERR_MONITOR_REQUEST",
]


def library() -> Library:
    """The SDK library, loaded on first use; `LibraryNotFound` when it cannot be found."""
    return _load_library()


def library_version() -> str:
    """The library's version (``Orvix_GetDllVersion``) as ``"major.minor.patch"``."""
    value = library().Orvix_GetDllVersion() & 0xFFFFFFFF
    return "%d.%d.%d" % (value >> 16, (value >> 8) & 0xFF, value & 0xFF)
