"""`Camera`: one camera handle of the SDK library, with its settings as properties."""

import ctypes
import operator
import os
import warnings
import weakref
from typing import Any, List, NamedTuple, Optional, Tuple

import numpy as np

from . import _library
from .errors import ERR_GEOMETRY, ERR_MEMORY, ERROR_CODES, Error, GeometryWarning
from .image import Layout, check_order, layout, view
from .settings import SETTINGS, Setting, check
from .stream import Stream

__all__ = ["Camera", "CameraInfo", "Monitor", "cameras"]

SENSOR_WIDTH = 1360
SENSOR_HEIGHT = 1024
# The camera takes no capture window smaller than this.
MIN_WINDOW_WIDTH = 4
MIN_WINDOW_HEIGHT = 3
SLOTS = 8
_NAME_COUNT = 10
_NAME_SIZE = 256

# Orvix_SaveImage formats by name, and the names file extensions stand for.
_FORMATS = {"bmp": 0, "raw": 1, "jpeg": 2, "png": 5, "tiff": 6}
_JPEG_QUALITY = {100: 2, 70: 3, 20: 4}
_EXTENSIONS = {".bmp": "bmp", ".raw": "raw", ".jpg": "jpeg", ".jpeg": "jpeg", ".png": "png",
               ".tif": "tiff", ".tiff": "tiff"}
_DIALOGS = {"camera": "Orvix_SetCameraDlg", "image": "Orvix_SetImageDlg", "analog": "Orvix_SetAnalogDlg"}


class CameraInfo(NamedTuple):
    """The camera's limits: sensor size and the gain and exposure ranges (low, high)."""

    width: int
    height: int
    global_gain: Tuple[int, int]
    color_gain: Tuple[int, int]
    exposure: Tuple[int, int]


def _release(lib: _library.Library, handle: int) -> None:
    lib.Orvix_Release(handle)


def _index(name: str, value: Any, minimum: int, maximum: int) -> int:
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError("%s takes an integer, not %s" % (name, type(value).__name__)) from None
    if not minimum <= number <= maximum:
        raise ValueError("%s must be %d..%d, not %d" % (name, minimum, maximum, number))
    return number


def _path_bytes(path: Any, system: str) -> bytes:
    # The library takes 8-bit paths: the ANSI code page on Windows, the file-system
    # encoding elsewhere.
    text = os.fspath(path)
    if isinstance(text, bytes):
        return text
    if system == "Windows":
        try:
            return text.encode("mbcs")
        except UnicodeEncodeError:
            raise ValueError("the path %r has characters the library cannot take" % text) from None
    return os.fsencode(text)


class _Calls:
    """Checked calls of library functions on one handle."""

    def __init__(self, lib: _library.Library, handle: Optional[int]):
        self.lib = lib
        self.handle = handle

    def failure(self, function: str, refused: Optional[str] = None) -> Error:
        """The error of a call that just failed: the newest queued code (older ones are
        dropped), or ``refused`` as the sentence when none was queued."""
        codes = self.drain()
        return Error(function, codes[0] if codes else 0, None if codes else refused)

    def drain(self) -> List[int]:
        """Every queued error code, newest first; the queue is empty afterwards."""
        codes = []
        if self.handle is None:
            return codes
        code = self.lib.Orvix_GetLastError(self.handle)
        while code:
            codes.append(code)
            code = self.lib.Orvix_GetLastError(self.handle)
        return codes

    def function(self, name: str):
        if self.handle is None:
            raise Error(name, 0, "the camera has been closed")
        return getattr(self.lib, name)

    def call(self, name: str, *args, refused: Optional[str] = None) -> int:
        """Calls ``name`` and raises `Error` when it returns 0."""
        result = self.function(name)(self.handle, *args)
        if result == 0:
            raise self.failure(name, refused)
        return result

    def get(self, name: str, *args) -> int:
        """Calls a getter with an ``int* ok`` last argument; raises `Error` for ok = 0."""
        ok = ctypes.c_int(0)
        value = self.function(name)(self.handle, *args, ctypes.byref(ok))
        if not ok.value:
            raise self.failure(name)
        return value

    def plain(self, name: str) -> int:
        """Calls a getter without ``ok``; -1 (an unknown handle) raises `Error`."""
        value = self.function(name)(self.handle)
        if value == -1:
            raise self.failure(name, "the camera holds no valid value")
        return value


def _setting_property(setting: Setting) -> property:
    getter = "Orvix_Get" + setting.function
    setter = "Orvix_Set" + setting.function

    def fget(self: "Camera"):
        if setting.getter_reports_ok:
            value = self._calls.get(getter)
        elif setting.attribute == "mirror_v":
            # Without a device link it returns 0 with ERR_NOT_INITIALIZED queued.
            value = self._calls.function(getter)(self._calls.handle)
            codes = self._calls.drain()
            if codes:
                raise Error(getter, codes[0])
        else:
            value = self._calls.plain(getter)
        return bool(value) if setting.flag else value

    def fset(self: "Camera", value) -> None:
        number = check(setting, value)
        self._calls.call(setter, number)

    kept = (
        "The library saves it when the camera is closed and loads it the next time."
        if setting.saved
        else "It lasts while the camera is open (the library does not save it)."
    )
    doc = "%s Accepts %s. %s (``%s``/``%s``)" % (setting.text, setting.range_text(), kept, setter, getter)
    return property(fget, fset, doc=doc)


class Camera:
    """One camera: ``Orvix_Initialize`` when made, ``Orvix_Release`` when closed.

    ``Camera(slot=0)`` starts the library's camera object and selects the camera in
    ``slot`` (0..7); `Error` ``ERR_NO_CAMERA`` when the slot holds none. Use it as a
    context manager, or call `close`; a camera not closed is released when it is
    garbage-collected or when the interpreter exits (also after Ctrl-C).

    Every named setting is a property (``cam.gamma = 120``); a value outside its range
    raises ``ValueError`` before the library is called, and a call the library refuses
    raises `Error`. Capture settings (colour mode, sub-sample, window, wait time, half
    clock) take effect at the next capture start. A camera is used from one thread at
    a time.
    """

    def __init__(self, slot: int = 0):
        slot = _index("slot", slot, 0, SLOTS - 1)
        lib = _library.library()
        handle = lib.Orvix_Initialize(0)
        if not handle:
            raise Error("Orvix_Initialize", 0, "the library could not allocate a camera")
        self._calls = _Calls(lib, handle)
        self._finalizer = weakref.finalize(self, _release, lib, handle)
        self._stream: Optional["weakref.ReferenceType[Stream]"] = None
        self._image_layout: Optional[Layout] = None
        self._slot = 0
        try:
            self._report_startup()
            self.slot = slot
        except BaseException:
            self.close()
            raise
        self.monitor = Monitor(self)

    def _report_startup(self) -> None:
        for code in self._calls.drain():
            if code == ERR_GEOMETRY:
                warnings.warn(GeometryWarning("the stored capture format lies outside the sensor; "
                                              "the full frame is used"), stacklevel=3)
            elif code == ERR_MEMORY:
                raise Error("Orvix_Initialize", code, "the camera could not start: out of memory")
            else:
                name, meaning = ERROR_CODES.get(code, ("ERR_%d" % code, "unknown"))
                warnings.warn("camera start-up queued %s: %s" % (name, meaning), RuntimeWarning, stacklevel=3)

    # ---- life ----------------------------------------------------------------------------

    def close(self) -> None:
        """Stops a running stream and releases the camera (``Orvix_Release``: the library
        saves the gains and filters). Closing twice does nothing."""
        stream = self.active_stream
        if stream is not None:
            stream.abandon()
        self._finalizer()
        self._calls.handle = None

    @property
    def closed(self) -> bool:
        """True once the camera has been closed."""
        return self._calls.handle is None

    def __enter__(self) -> "Camera":
        return self

    def __exit__(self, *exc_info) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "slot %d" % self._slot
        return "<orvix.Camera %s>" % state

    @property
    def handle(self) -> int:
        """The library's camera handle, for calls of your own (see `call`)."""
        if self._calls.handle is None:
            raise Error("handle", 0, "the camera has been closed")
        return self._calls.handle

    @property
    def library(self) -> _library.Library:
        """The loaded library (`orvix.Library`)."""
        return self._calls.lib

    def call(self, function: str, *args) -> int:
        """Calls the library function ``function`` (``"Orvix_Fps"``, ...) with this
        camera's handle and ``args``, and returns its result. When it returns 0 and the
        camera queued an error code, raises `Error` with that code."""
        result = self._calls.function(function)(self._calls.handle, *args)
        if result == 0:
            codes = self._calls.drain()
            if codes:
                raise Error(function, codes[0])
        return result

    # ---- device ----------------------------------------------------------------------------

    @property
    def slot(self) -> int:
        """The camera slot in use (0..7). Setting it selects another camera
        (``Orvix_SetDeviceNumber``): `Error` ``ERR_NO_CAMERA`` for an empty slot."""
        return self._slot

    @slot.setter
    def slot(self, slot: int) -> None:
        slot = _index("slot", slot, 0, SLOTS - 1)
        self._require_idle("Orvix_SetDeviceNumber")
        self._calls.call("Orvix_SetDeviceNumber", slot, refused="the camera is capturing")
        self._slot = slot

    @property
    def info(self) -> CameraInfo:
        """The camera's limits (``Orvix_GetCameraInfo``)."""
        record = _library.CameraInfo()
        record.size = ctypes.sizeof(record)
        self._calls.call("Orvix_GetCameraInfo", ctypes.byref(record))
        return CameraInfo(record.width, record.height, (record.globalGainLow, record.globalGainHigh),
                          (record.colorGainLow, record.colorGainHigh), (record.exposureLow, record.exposureHigh))

    def read_register(self, address: int) -> int:
        """The sensor register at ``address`` (0..255), 16 bits."""
        return self._calls.get("Orvix_ReadRegister", _index("address", address, 0, 0xFF))

    def write_register(self, address: int, value: int) -> None:
        """Writes ``value`` (0..0xFFFF) to the sensor register at ``address`` (0..255)."""
        self._calls.call("Orvix_WriteRegister", _index("address", address, 0, 0xFF),
                         _index("value", value, 0, 0xFFFF))

    def read_fpga(self, address: int) -> int:
        """The FPGA register at ``address`` (0x10..0xFF), 16 bits."""
        return self._calls.get("Orvix_Fpga_ReadRegister", _index("address", address, 0x10, 0xFF))

    def write_fpga(self, address: int, value: int) -> None:
        """Writes ``value`` (0..0xFFFF) to the FPGA register at ``address`` (0x10..0xFF)."""
        self._calls.call("Orvix_Fpga_WriteRegister", _index("address", address, 0x10, 0xFF),
                         _index("value", value, 0, 0xFFFF))

    def read_srom_id(self, index: int) -> int:
        """User ID byte ``index`` (0..7) of the camera's serial ROM."""
        return self._calls.get("Orvix_ReadSromID", _index("index", index, 0, 7))

    def write_srom_id(self, index: int, value: int) -> None:
        """Writes user ID byte ``index`` (0..7) of the serial ROM (``value`` 0..255)."""
        self._calls.call("Orvix_WriteSromID", _index("index", index, 0, 7), _index("value", value, 0, 0xFF))

    # ---- capture format ------------------------------------------------------------------

    @property
    def capture_window(self) -> Tuple[int, int, int, int]:
        """``(x, y, width, height)`` of the capture window on the 1360 x 1024 sensor,
        before sub-sampling. Setting it checks that the window lies on the sensor and is
        at least 4 x 3 (``ValueError`` otherwise); it applies at the next capture start
        and lasts while the camera is open."""
        values = [ctypes.c_int(0) for _ in range(6)]
        self._calls.call("Orvix_GetCaptureWindowEx", *(ctypes.byref(v) for v in values))
        _, x, width, _, y, height = (v.value for v in values)
        return (x, y, width, height)

    @capture_window.setter
    def capture_window(self, window: Tuple[int, int, int, int]) -> None:
        x, y, width, height = self._checked_window(window)
        self._require_idle("Orvix_SetCaptureWindowEx")
        totals = [ctypes.c_int(0), ctypes.c_int(0)]
        self._calls.call("Orvix_GetCaptureWindowEx", ctypes.byref(totals[0]), None, None,
                         ctypes.byref(totals[1]), None, None)
        self._calls.call("Orvix_SetCaptureWindowEx", totals[0].value, x, width, totals[1].value, y, height)

    @staticmethod
    def _checked_window(window) -> Tuple[int, int, int, int]:
        try:
            x, y, width, height = (operator.index(v) for v in window)
        except (TypeError, ValueError):
            raise TypeError("capture_window takes four integers (x, y, width, height)") from None
        if not (0 <= x and 0 <= y and MIN_WINDOW_WIDTH <= width and MIN_WINDOW_HEIGHT <= height
                and x + width <= SENSOR_WIDTH and y + height <= SENSOR_HEIGHT):
            raise ValueError(
                "capture_window must lie on the %d x %d sensor and be at least %d x %d: x >= 0, y >= 0, "
                "x + width <= %d, y + height <= %d, not %r"
                % (SENSOR_WIDTH, SENSOR_HEIGHT, MIN_WINDOW_WIDTH, MIN_WINDOW_HEIGHT, SENSOR_WIDTH,
                   SENSOR_HEIGHT, (x, y, width, height)))
        return x, y, width, height

    def select_format(self, width: int, height: int) -> None:
        """Uses the stored capture format (the list the camera dialog edits) of that size
        (``Orvix_SetCaptureWindow``). `Error` with code 0 when none has that size; `Error`
        ``ERR_GEOMETRY`` when the stored one lies outside the sensor (the full frame is
        then used)."""
        width = _index("width", width, 0, SENSOR_WIDTH)
        height = _index("height", height, 0, SENSOR_HEIGHT)
        self._require_idle("Orvix_SetCaptureWindow")
        self._calls.call("Orvix_SetCaptureWindow", width, height,
                         refused="no stored capture format is %d x %d" % (width, height))
        if ERR_GEOMETRY in self._calls.drain():
            raise Error("Orvix_SetCaptureWindow", ERR_GEOMETRY,
                        "the stored %d x %d format lies outside the sensor; the full frame is used" % (width, height))

    @property
    def layout(self) -> Layout:
        """The layout of the images the next capture delivers: size after sub-sampling,
        bits per pixel and row stride."""
        divisor = 1 << self.sub_sample
        width = self._calls.plain("Orvix_Width") // divisor
        height = self._calls.plain("Orvix_Height") // divisor
        return layout(width, height, self.color_mode)

    @property
    def shape(self) -> Tuple[int, ...]:
        """The shape of the arrays the next capture delivers."""
        return self.layout.shape

    @property
    def dtype(self) -> np.dtype:
        """The element type of the arrays the next capture delivers."""
        return self.layout.dtype

    # ---- images ------------------------------------------------------------------------------

    def snap(self, order: str = "bgr") -> np.ndarray:
        """Takes one frame (``Orvix_SnapShot``) and returns it as an array, top row first.

        Shapes: ``(h, w)`` ``uint8`` for 8 bits, ``(h, w)`` ``uint16`` for 16 bits (10-bit
        samples), ``(h, w, 3)`` ``uint8`` for 24 bits, ``(h, w, 4)`` ``uint8`` for 32 bits
        (the fourth byte unused), ``(h, w, 3)``/``(h, w, 4)`` ``uint16`` for 48/64 bits.
        Channels come as the library keeps them, blue first (``order="bgr"``), or red first
        with ``order="rgb"``. The array is a view over the frame copy with the row padding
        stepped over (see `orvix.image.view`).
        """
        check_order(order)
        self._require_idle("Orvix_SnapShot")
        shape = self.layout
        buffer = np.empty(shape.size, np.uint8)
        self._calls.call("Orvix_SnapShot", buffer.ctypes.data, shape.size, 1, refused="no frame arrived")
        self._image_layout = shape
        return view(buffer, shape, order)

    def image(self, order: str = "bgr") -> np.ndarray:
        """The last processed image (``Orvix_GetImage``), as `snap` returns it; during a
        stream, the newest frame. `Error` ``ERR_MEMORY`` before the first frame."""
        check_order(order)
        shape = self._image_layout or self.layout
        buffer = np.empty(shape.size, np.uint8)
        self._calls.call("Orvix_GetImage", buffer.ctypes.data, shape.size, 1)
        return view(buffer, shape, order)

    def save(self, path, format: Optional[str] = None, quality: int = 100):
        """Writes the last processed image to ``path`` with the library's own writers
        (``Orvix_SaveImage``); it does not capture. ``format`` is ``"bmp"``, ``"raw"``,
        ``"jpeg"``, ``"png"`` or ``"tiff"``, by default taken from the file's extension;
        JPEG ``quality`` is 100, 70 or 20. Returns the path."""
        code = self._save_format(path, format, quality)
        target = _path_bytes(path, self._calls.lib.system)
        why = ("no frame has been taken yet" if self._image_layout is None
               else "the file could not be written")
        self._calls.call("Orvix_SaveImage", target, code, refused="%s (%s)" % (why, os.fspath(path)))
        return path

    @staticmethod
    def _save_format(path, format: Optional[str], quality: int) -> int:
        if format is None:
            extension = os.path.splitext(os.fsdecode(os.fspath(path)))[1].lower()
            format = _EXTENSIONS.get(extension)
            if format is None:
                raise ValueError("cannot tell the image format from %r; give format= one of %s"
                                 % (extension, ", ".join(_FORMATS)))
        if format not in _FORMATS:
            raise ValueError("format must be one of %s, not %r" % (", ".join(_FORMATS), format))
        if format == "jpeg":
            if quality not in _JPEG_QUALITY:
                raise ValueError("JPEG quality must be 100, 70 or 20, not %r" % (quality,))
            return _JPEG_QUALITY[quality]
        return _FORMATS[format]

    def stream(self, frames: Optional[int] = None, order: str = "bgr", timeout: float = 5.0) -> Stream:
        """Starts the window-less preview (``Orvix_StartPreview``) and returns a `Stream`
        that yields the newest frames as arrays (as `snap` describes), ``frames`` of them
        or without end. The preview stops when the loop ends, breaks or raises (also on
        Ctrl-C), or when the stream or camera is closed. Frames are told apart by their
        content, so `StreamTimeout` is raised when the image has not changed for
        ``timeout`` seconds (a still scene without sensor noise looks like a camera that
        delivers nothing)."""
        check_order(order)
        if frames is not None:
            frames = _index("frames", frames, 1, 2**62)
        if not timeout > 0:
            raise ValueError("timeout must be more than 0 seconds, not %r" % (timeout,))
        self._require_idle("Orvix_StartPreview")
        shape = self.layout
        stream = Stream(self._calls, shape, frames, order, float(timeout))
        self._stream = weakref.ref(stream)
        self._image_layout = shape
        return stream

    @property
    def active_stream(self) -> Optional[Stream]:
        """The stream whose preview runs, or None."""
        stream = self._stream() if self._stream is not None else None
        return stream if stream is not None and stream.running else None

    def _require_idle(self, function: str) -> None:
        if self.active_stream is not None:
            raise Error(function, 0, "the camera is streaming; end the stream first")

    # ---- dialogs -----------------------------------------------------------------------------

    def dialog(self, which: str, owner: int = 0) -> None:
        """Runs one of the library's modal settings dialogs: ``"camera"`` (capture
        format), ``"image"`` (filters) or ``"analog"`` (gains, exposure, monitor output),
        owned by the window ``owner`` (an X11 window id or HWND; 0 for none). Without a
        display on Linux it returns at once, as a cancelled dialog."""
        if which not in _DIALOGS:
            raise ValueError("dialog must be one of %s, not %r" % (", ".join(_DIALOGS), which))
        self._calls.call(_DIALOGS[which], owner)


for _setting in SETTINGS:
    setattr(Camera, _setting.attribute, _setting_property(_setting))
del _setting


class Monitor:
    """The camera's own monitor output (``Orvix_Monitor_*``): every value is read back
    from the camera and every change sent to it at once. Reached as ``cam.monitor``."""

    _CLOCK_SET = {16: 0, 24: 1, 48: 2}
    _CLOCK_GET = {0: 16, 2: 24, 5: 48}
    _SIZES = ((800, 600), (1280, 1024))

    def __init__(self, camera: Camera):
        self._calls = camera._calls

    def _flag(name: str, text: str) -> property:  # type: ignore[misc]
        def fget(self) -> bool:
            return bool(self._calls.get("Orvix_Monitor_Get" + name))

        def fset(self, value: bool) -> None:
            self._calls.call("Orvix_Monitor_Set" + name, 1 if value else 0)

        return property(fget, fset, doc=text)

    def _gain(name: str, text: str) -> property:  # type: ignore[misc]
        def fget(self) -> int:
            return self._calls.get("Orvix_Monitor_Get" + name)

        def fset(self, value: int) -> None:
            number = _index(name, value, 0, 0xFFFF)
            self._calls.call("Orvix_Monitor_Set" + name, number, refused="the camera did not take the gain")

        return property(fget, fset, doc=text)

    live = _flag("PreviewMode", "True for the live picture, False holds the current one.")
    color = _flag("ColorMode", "True for a colour monitor picture, False for monochrome.")
    bayer_gain_auto = _flag("BayerGainAuto", "Automatic Bayer gain of the monitor picture.")
    bayer_gain_lock = _flag("BayerGainLock", "True while the monitor's Bayer gains are locked.")
    bayer_gain_red = _gain("BayerGainRed", "Monitor Bayer gain of red, 0..0xFFFF.")
    bayer_gain_green = _gain("BayerGainGreen", "Monitor Bayer gain of green, 0..0xFFFF.")
    bayer_gain_blue = _gain("BayerGainBlue", "Monitor Bayer gain of blue, 0..0xFFFF.")
    del _flag, _gain

    @property
    def size(self) -> Tuple[int, int]:
        """Monitor picture size: (800, 600) or (1280, 1024) can be set; the camera may
        also report (1024, 768)."""
        width, height = ctypes.c_int(0), ctypes.c_int(0)
        self._calls.call("Orvix_Monitor_GetPreviewSize", ctypes.byref(width), ctypes.byref(height))
        return (width.value, height.value)

    @size.setter
    def size(self, size: Tuple[int, int]) -> None:
        size = tuple(size)
        if size not in self._SIZES:
            raise ValueError("monitor size must be (800, 600) or (1280, 1024), not %r" % (size,))
        self._calls.call("Orvix_Monitor_SetPreviewSize", *size, refused="the camera did not take the size")

    @property
    def clock_mhz(self) -> int:
        """The camera clock in MHz: 16, 24 or 48."""
        code = self._calls.get("Orvix_Monitor_GetCameraClock")
        if code not in self._CLOCK_GET:
            raise Error("Orvix_Monitor_GetCameraClock", 0, "the camera reported clock code %d" % code)
        return self._CLOCK_GET[code]

    @clock_mhz.setter
    def clock_mhz(self, mhz: int) -> None:
        if mhz not in self._CLOCK_SET:
            raise ValueError("clock_mhz must be 16, 24 or 48, not %r" % (mhz,))
        self._calls.call("Orvix_Monitor_SetCameraClock", self._CLOCK_SET[mhz])


def cameras() -> List[Tuple[int, str]]:
    """The cameras present as ``(slot, name)`` pairs in slot order, named as
    ``Orvix_EnumDevice`` names them (``"OrvixK62DT4_01"``, ... numbered by count)."""
    lib = _library.library()
    handle = lib.Orvix_Initialize(0)
    if not handle:
        raise Error("Orvix_Initialize", 0, "the library could not allocate a camera")
    calls = _Calls(lib, handle)
    try:
        names = ctypes.create_string_buffer(_NAME_COUNT * _NAME_SIZE)
        count = lib.Orvix_EnumDevice(handle, names)
        codes = calls.drain()
        if count == 0 and codes:
            raise Error("Orvix_EnumDevice", codes[0])
        slot_name = ctypes.create_string_buffer(_NAME_SIZE)
        slots = [s for s in range(SLOTS) if lib.Orvix_GetDeviceName(handle, s, slot_name, _NAME_SIZE)]
        calls.drain()  # every empty slot answered ERR_NO_CAMERA
        found = []
        for n, slot in enumerate(slots[:count]):
            raw = names.raw[n * _NAME_SIZE:(n + 1) * _NAME_SIZE]
            found.append((slot, raw.split(b"\0", 1)[0].decode("ascii", "replace")))
        return found
    finally:
        lib.Orvix_Release(handle)
