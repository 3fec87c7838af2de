"""Finding and loading the SDK library, and the prototypes of its functions.

The library is looked for, in this order:

1. the file named by the environment variable ``ORVIX_LIBRARY`` (when it is set, it
   must load: a wrong path is an error, not a reason to pick another library);
2. the library file beside this package (``orvix/libOrvixSdk_K62DT4.so``, or
   ``orvix\\OrvixSdk_K62DT4.dll`` on Windows);
3. the system's own loader, given the bare file name (``LD_LIBRARY_PATH`` and the
   loader cache on Linux, the DLL search path on Windows).

The 32-bit Windows DLL uses the ``__stdcall`` convention and is loaded with
``ctypes.WinDLL``; every other build uses the C convention (``ctypes.CDLL``).

The search is written as plain functions of the platform (`plan`), so the Windows rules
are tested on any system.
"""

import ctypes
import ntpath
import os
import platform
import posixpath
import struct
import threading
from typing import Callable, Dict, List, Mapping, NamedTuple, Optional

__all__ = ["Candidate", "Library", "LibraryNotFound", "convention", "library_name", "load", "plan"]

ENVIRONMENT_VARIABLE = "ORVIX_LIBRARY"

STDCALL = "stdcall"
CDECL = "cdecl"


class LibraryNotFound(OSError):
    """The SDK library could not be loaded from any of the places looked at."""


class Candidate(NamedTuple):
    """One place to load the library from.

    ``path`` is a file path, or a bare file name for the system loader; ``origin``
    says where it came from; ``required`` is true when failing to load it is an error
    by itself (the file named by ``ORVIX_LIBRARY``); ``must_exist`` is true for a path
    that is only tried when the file exists.
    """

    path: str
    origin: str
    required: bool = False
    must_exist: bool = False


def library_name(system: str) -> str:
    """The library's file name on ``system`` (a ``platform.system()`` value)."""
    if system == "Windows":
        return "OrvixSdk_K62DT4.dll"
    return "libOrvixSdk_K62DT4.so"


def convention(system: str, pointer_bits: int) -> str:
    """``"stdcall"`` for 32-bit Windows, ``"cdecl"`` (the C convention) elsewhere."""
    return STDCALL if system == "Windows" and pointer_bits == 32 else CDECL


def plan(system: str, environ: Mapping[str, str], package_dir: str) -> List[Candidate]:
    """The places to load the library from, in order, for ``system``."""
    name = library_name(system)
    join = ntpath.join if system == "Windows" else posixpath.join
    candidates = []
    explicit = environ.get(ENVIRONMENT_VARIABLE, "")
    if explicit:
        candidates.append(Candidate(explicit, ENVIRONMENT_VARIABLE, required=True))
    candidates.append(Candidate(join(package_dir, name), "beside the package", must_exist=True))
    candidates.append(Candidate(name, "system loader"))
    return candidates


def load(
    candidates: List[Candidate],
    loader: Callable[[str], object],
    exists: Callable[[str], bool] = os.path.isfile,
) -> object:
    """Loads the first candidate that loads, with ``loader`` (``ctypes.CDLL`` or
    ``ctypes.WinDLL``); raises `LibraryNotFound` listing every place tried."""
    tried = []
    for candidate in candidates:
        if candidate.must_exist and not exists(candidate.path):
            tried.append("%s (%s): no such file" % (candidate.path, candidate.origin))
            continue
        try:
            return loader(candidate.path)
        except OSError as error:
            if candidate.required:
                raise LibraryNotFound(
                    "%s names %r, which could not be loaded: %s" % (ENVIRONMENT_VARIABLE, candidate.path, error)
                ) from error
            tried.append("%s (%s): %s" % (candidate.path, candidate.origin, error))
    raise LibraryNotFound(
        "the OrvixSdk K62DT4 library was not found; set %s to its path. Tried:\n  %s"
        % (ENVIRONMENT_VARIABLE, "\n  ".join(tried))
    )


def loader_for(calling: str, module=ctypes) -> Callable[[str], object]:
    """The ctypes loader of a calling convention: ``WinDLL`` (which exists on Windows
    only) for ``"stdcall"``, ``CDLL`` for ``"cdecl"``."""
    return module.WinDLL if calling == STDCALL else module.CDLL


# ---- prototypes -------------------------------------------------------------------------

class CameraInfo(ctypes.Structure):
    """The ``CameraInfo`` record of ``Orvix_GetCameraInfo``."""

    _fields_ = [
        (name, ctypes.c_int32)
        for name in (
            "size", "width", "height", "globalGainLow", "globalGainHigh",
            "colorGainLow", "colorGainHigh", "exposureLow", "exposureHigh",
        )
    ]


class FrameInfo(ctypes.Structure):
    """The ``FrameInfo`` record whose address travels with ``ORVIX_WM_FRAME``."""

    _fields_ = [
        (name, ctypes.c_int32)
        for name in ("size", "width", "height", "bitsPerPixel", "frameRate", "reserved")
    ]


# Argument letters after the camera handle: i int, p int*, w window, v void*,
# s char* (filled by the library), c const char*, n CameraInfo*.
_NAMED_PROPERTIES = (
    "Brightness", "Contrast", "Hue", "Saturation", "Sharpness", "BayerGainRGB", "BayerGainRed",
    "BayerGainGreen", "BayerGainBlue", "BayerGainAuto", "Gamma", "BayerMode", "GlobalGain",
    "ColorGainRed", "ColorGainGreen1", "ColorGainGreen2", "ColorGainBlue", "ExposureTime",
    "GrayMode", "GrayGainR", "GrayGainG1", "GrayGainG2", "GrayGainB", "GrayOffsetR",
    "GrayOffsetG1", "GrayOffsetG2", "GrayOffsetB",
)
_MONITOR_SETTINGS = (
    "PreviewMode", "ColorMode", "CameraClock", "BayerGainAuto", "BayerGainLock",
    "BayerGainRed", "BayerGainGreen", "BayerGainBlue",
)
_UNSUPPORTED = (
    "Fps", "GetCameraType", "GetIOPort", "Record", "SetCameraType", "SetCrossbar", "SetIOPort",
    "SetMirrorH", "SetSamplingRate",
)


def _prototypes() -> Dict[str, str]:
    table = {
        "Release": "", "GetLastError": "", "Width": "", "Height": "", "GetColorMode": "",
        "GetSubSample": "", "GetWaitTime": "", "SetColorMode": "i", "SetSubSample": "i",
        "SetWaitTime": "i", "SetHalfClock": "i", "GetHalfClock": "p", "SetMirrorV": "i",
        "GetMirrorV": "", "GetMirrorH": "i", "SetAutoIris": "i", "GetAutoIris": "p",
        "SetCaptureWindow": "ii", "SetCaptureWindowEx": "iiiiii", "GetCaptureWindowEx": "pppppp",
        "SetPreviewWindow": "wiiii", "SetDeviceNumber": "i", "EnumDevice": "s",
        "GetDeviceName": "isi", "GetCameraInfo": "n", "WriteRegister": "ii", "ReadRegister": "ip",
        "Fpga_WriteRegister": "ii", "Fpga_ReadRegister": "ip", "WriteSromID": "ii",
        "ReadSromID": "ip", "SetFilterValue": "ii", "GetFilterValue": "ip", "Preview": "",
        "CallBackPreview": "wvii", "Trigger": "wvii", "StartPreview": "", "StopPreview": "",
        "Capture": "", "SnapShot": "vii", "GetImage": "vii", "Close": "", "SaveImage": "ci",
        "GetStatus": "i", "SetCameraDlg": "w", "SetImageDlg": "w", "SetAnalogDlg": "w",
        "Monitor_SetPreviewSize": "ii", "Monitor_GetPreviewSize": "pp",
        "GetSamplingRate": "p", "GetVideoFormat": "p",
    }
    for name in _NAMED_PROPERTIES:
        table["Set" + name] = "i"
        table["Get" + name] = "p"
    for name in _MONITOR_SETTINGS:
        table["Monitor_Set" + name] = "i"
        table["Monitor_Get" + name] = "p"
    for name in _UNSUPPORTED:
        table[name] = "i"
    return {"Orvix_" + name: letters for name, letters in table.items()}


# Every function that takes a camera handle, with its arguments after the handle.
PROTOTYPES = _prototypes()


def _window_type(system: str):
    # An HWND on Windows, an X11 window id (unsigned long) elsewhere.
    return ctypes.c_void_p if system == "Windows" else ctypes.c_ulong


def _argument_types(letters: str, window) -> list:
    kinds = {
        "i": ctypes.c_int,
        "p": ctypes.POINTER(ctypes.c_int),
        "w": window,
        "v": ctypes.c_void_p,
        "s": ctypes.c_char_p,
        "c": ctypes.c_char_p,
        "n": ctypes.POINTER(CameraInfo),
    }
    return [ctypes.c_void_p] + [kinds[letter] for letter in letters]


class Library:
    """The loaded SDK library with the prototype of every exported function.

    Each ``Orvix_`` function is an attribute (a ctypes function with its argument and
    result types set), so ``library.Orvix_GetDllVersion()`` calls it. ``path`` is where
    it was loaded from and ``convention`` its calling convention.
    """

    def __init__(self, dll, system: str, convention_name: str):
        self.dll = dll
        self.system = system
        self.convention = convention_name
        self.path = getattr(dll, "_name", "")
        window = _window_type(system)
        self.window_type = window
        self._declare("Orvix_Initialize", ctypes.c_void_p, [window])
        self._declare("Orvix_GetDllVersion", ctypes.c_int, [])
        for name, letters in PROTOTYPES.items():
            self._declare(name, ctypes.c_int, _argument_types(letters, window))

    def _declare(self, name: str, result, arguments) -> None:
        function = getattr(self.dll, name)
        function.restype = result
        function.argtypes = arguments
        setattr(self, name, function)


_loaded: Optional[Library] = None
_lock = threading.Lock()


def library() -> Library:
    """The SDK library, loaded on first use (see the module text for where from)."""
    global _loaded
    with _lock:
        if _loaded is None:
            system = platform.system()
            pointer_bits = struct.calcsize("P") * 8
            calling = convention(system, pointer_bits)
            package_dir = os.path.dirname(os.path.abspath(__file__))
            dll = load(plan(system, os.environ, package_dir), loader_for(calling))
            _loaded = Library(dll, system, calling)
        return _loaded
