"""Where the library is looked for and how it is called, on every system.

No Windows Python runs here, so the Windows rules (the DLL's name, WinDLL for the
32-bit DLL's __stdcall functions) are checked as the plan and loader choice the package
makes for Windows, with stand-in loaders.
"""

import ctypes
import os
import re
import types

import pytest

from conftest import SOURCE_ROOT
from orvix import _library


class Loader:
    """Stands in for ctypes.CDLL / WinDLL: loads only the paths it was given."""

    def __init__(self, loadable):
        self.loadable = set(loadable)
        self.tried = []

    def __call__(self, path):
        self.tried.append(path)
        if path not in self.loadable:
            raise OSError("cannot open %s" % path)
        return "library at " + path


def test_linux_looks_at_the_variable_then_beside_the_package_then_the_loader():
    candidates = _library.plan("Linux", {"ORVIX_LIBRARY": "/opt/x/lib.so"}, "/site/orvix")
    assert [c.path for c in candidates] == [
        "/opt/x/lib.so", "/site/orvix/libOrvixSdk_K62DT4.so", "libOrvixSdk_K62DT4.so"]
    assert _library.convention("Linux", 64) == "cdecl"
    assert _library.convention("Linux", 32) == "cdecl"


@pytest.mark.parametrize("bits, convention, loader_name", [(32, "stdcall", "WinDLL"), (64, "cdecl", "CDLL")])
def test_windows_loads_the_dll_with_its_convention(bits, convention, loader_name):
    candidates = _library.plan("Windows", {}, "C:\\Python\\Lib\\site-packages\\orvix")
    assert [c.path for c in candidates] == [
        "C:\\Python\\Lib\\site-packages\\orvix\\OrvixSdk_K62DT4.dll", "OrvixSdk_K62DT4.dll"]
    assert _library.convention("Windows", bits) == convention
    ctypes_on_windows = types.SimpleNamespace(WinDLL=Loader({"OrvixSdk_K62DT4.dll"}), CDLL=Loader({"OrvixSdk_K62DT4.dll"}))
    loader = _library.loader_for(convention, ctypes_on_windows)
    assert loader is getattr(ctypes_on_windows, loader_name)
    nothing_beside = lambda path: False
    assert _library.load(candidates, loader, nothing_beside) == "library at OrvixSdk_K62DT4.dll"
    assert loader.tried == ["OrvixSdk_K62DT4.dll"]


def test_windows_prototypes_take_window_handles_as_pointers():
    functions = {}

    class Dll:
        def __getattr__(self, name):
            return functions.setdefault(name, types.SimpleNamespace())

    windows = _library.Library(Dll(), "Windows", "stdcall")
    assert windows.Orvix_SetPreviewWindow.argtypes[1] is ctypes.c_void_p
    assert windows.Orvix_Initialize.argtypes == [ctypes.c_void_p]
    assert windows.Orvix_Initialize.restype is ctypes.c_void_p
    functions.clear()
    linux = _library.Library(Dll(), "Linux", "cdecl")
    assert linux.Orvix_SetPreviewWindow.argtypes[1] is ctypes.c_ulong
    assert linux.Orvix_SnapShot.argtypes == [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int, ctypes.c_int]


def test_a_library_beside_the_package_comes_before_the_system_one():
    candidates = _library.plan("Linux", {}, "/site/orvix")
    loader = Loader({"/site/orvix/libOrvixSdk_K62DT4.so", "libOrvixSdk_K62DT4.so"})
    assert _library.load(candidates, loader, lambda path: True) == "library at /site/orvix/libOrvixSdk_K62DT4.so"


def test_a_wrong_variable_is_an_error_not_a_reason_to_load_another_library():
    candidates = _library.plan("Linux", {"ORVIX_LIBRARY": "/nowhere/lib.so"}, "/site/orvix")
    loader = Loader({"libOrvixSdk_K62DT4.so"})
    with pytest.raises(_library.LibraryNotFound, match="ORVIX_LIBRARY names '/nowhere/lib.so'"):
        _library.load(candidates, loader, lambda path: True)
    assert loader.tried == ["/nowhere/lib.so"]


def test_nothing_found_lists_every_place_tried():
    candidates = _library.plan("Linux", {}, "/site/orvix")
    with pytest.raises(_library.LibraryNotFound) as raised:
        _library.load(candidates, Loader(()), lambda path: False)
    text = str(raised.value)
    assert "/site/orvix/libOrvixSdk_K62DT4.so (beside the package): no such file" in text
    assert "libOrvixSdk_K62DT4.so (system loader)" in text


def _header_prototypes():
    header = os.path.join(SOURCE_ROOT, "include", "OrvixSdk_K62DT4.h")
    if not os.path.exists(header):
        pytest.skip("the public header is not beside the tests")
    with open(header, encoding="utf-8") as f:
        text = re.sub(r"/\*.*?\*/", "", f.read(), flags=re.S)
    letters = {"int": "i", "int*": "p", "ORVIX_WINDOW": "w", "void*": "v", "char*": "s",
               "constchar*": "c", "CameraInfo*": "n"}
    found = {}
    for name, arguments in re.findall(r"ORVIX_API\s+\w+\s+ORVIX_CALL\s+(Orvix_\w+)\s*\(([^)]*)\)", text):
        types = [re.sub(r"\s+", "", re.sub(r"\w+$", "", a.strip())) for a in arguments.split(",")]
        if types and types[0] == "ORVIX_HANDLE":
            found[name] = "".join(letters[t] for t in types[1:])
        else:
            found[name] = None  # Orvix_Initialize and Orvix_GetDllVersion take no handle
    return found


def test_every_declared_function_has_its_prototype():
    declared = _header_prototypes()
    with_handle = {name: letters for name, letters in declared.items() if letters is not None}
    assert with_handle == _library.PROTOTYPES
    assert set(declared) - set(with_handle) == {"Orvix_Initialize", "Orvix_GetDllVersion"}
    assert len(declared) == 132


def test_the_loaded_library_answers_with_its_version():
    import orvix

    lib = orvix.library()
    assert lib.convention == "cdecl"
    assert lib.Orvix_GetDllVersion() == 0x00180500
    assert orvix.library_version() == "24.5.0"
