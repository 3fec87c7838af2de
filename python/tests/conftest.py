"""Test set-up: the emulated cameras in slots 0 and 3, frames as fast as asked for, and
a registry file of each test's own.

The library reads ORVIX_K62DT4_EMULATE once, when it first looks for cameras, so this
process keeps one emulation; tests that need another run a child process (`run_python`).
The library itself is found as the package finds it (ORVIX_LIBRARY in CI).
"""

import os
import pathlib
import shutil
import subprocess
import tempfile
import sys
import textwrap

import pytest

EMULATION = "0,3;rate=0"
os.environ["ORVIX_K62DT4_EMULATE"] = EMULATION

SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


@pytest.fixture(autouse=True)
def registry(tmp_path, monkeypatch):
    """A registry file of the test's own (the library reads the variable at each use),
    in memory where the system has such a folder: every change of the file is synced."""
    memory = "/dev/shm"
    if os.path.isdir(memory) and os.access(memory, os.W_OK):
        folder = pathlib.Path(tempfile.mkdtemp(prefix="orvix-test-", dir=memory))
    else:
        folder = tmp_path
    path = folder / "settings.reg"
    monkeypatch.setenv("ORVIX_REGISTRY_FILE", str(path))
    yield path
    if folder != tmp_path:
        shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture
def cam():
    import orvix

    with orvix.Camera(slot=0) as camera:
        yield camera


def run_python(code, *, emulate=EMULATION, check=True, timeout=120, args=(), cwd=None):
    """Runs ``code`` in a child Python with the emulation ``emulate`` and this
    process's registry file; returns the finished process (output as text)."""
    env = dict(os.environ, ORVIX_K62DT4_EMULATE=emulate)
    result = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code), *args], env=env, cwd=cwd,
        capture_output=True, text=True, timeout=timeout,
    )
    if check and result.returncode != 0:
        raise AssertionError("child failed (%d):\n%s\n%s" % (result.returncode, result.stdout, result.stderr))
    return result


def stored_formats(*formats, selected=0):
    """A registry file holding the capture formats ``(width, height, x, y)``, the one
    at index ``selected`` in use."""
    key = "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk"
    lines = ["Windows Registry Editor Version 5.00", "", key + "]", '"Size"=dword:%08x' % selected, ""]
    for n, (width, height, x, y) in enumerate(formats):
        lines.append(key + "\\Size_%02d]" % n)
        values = (("TH", 1360), ("TV", 1024), ("EH", width), ("EV", height), ("EHS", x), ("EVS", y), ("Buf", 10))
        lines += ['"%s"=dword:%08x' % value for value in values] + [""]
    return "\n".join(lines)
