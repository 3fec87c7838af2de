"""python -m orvix list and snap, in child processes."""

import struct
import subprocess
import sys

from conftest import EMULATION


def orvix_command(*args, emulate=EMULATION, cwd=None):
    import os

    env = dict(os.environ, ORVIX_K62DT4_EMULATE=emulate)
    return subprocess.run([sys.executable, "-m", "orvix", *args], env=env, cwd=cwd, capture_output=True,
                          text=True, timeout=120)


def png_header(path):
    """Width, height, bit depth and colour type from a PNG file's IHDR chunk."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    return struct.unpack(">IIBB", data[16:26])


def test_list_names_the_cameras_with_their_slots():
    result = orvix_command("list")
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["2 cameras found", "  OrvixK62DT4_01   slot 0",
                                          "  OrvixK62DT4_02   slot 3"]


def test_snap_saves_a_frame_with_the_settings_given(tmp_path):
    result = orvix_command("snap", "gray.png", "--color", "8", "gamma=120", "capture_window_ignored=1",
                           cwd=tmp_path)
    assert result.returncode == 2 and "unknown setting 'capture_window_ignored=1'" in result.stderr
    result = orvix_command("snap", "gray.png", "--color", "8", "gamma=120", "Sharpness=0x5", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "saved a 8-bit frame of 1360 x 1024 to gray.png\n"
    assert png_header(tmp_path / "gray.png") == (1360, 1024, 8, 0)  # 8-bit gray
    result = orvix_command("snap", str(tmp_path / "colour.png"), "--slot", "3")
    assert result.returncode == 0, result.stderr
    assert png_header(tmp_path / "colour.png") == (1360, 1024, 8, 2)  # 8-bit RGB


def test_snap_refuses_a_value_out_of_range_before_opening_the_camera(tmp_path):
    result = orvix_command("snap", "x.png", "gamma=300", cwd=tmp_path)
    assert result.returncode == 2
    assert "gamma must be 0..200, not 300" in result.stderr
    assert not (tmp_path / "x.png").exists()


def test_without_cameras_both_commands_say_how_to_emulate_one(tmp_path):
    for args in (["list"], ["snap", "x.png"]):
        result = orvix_command(*args, emulate=";rate=0", cwd=tmp_path)
        assert result.returncode == 1
        assert "ORVIX_K62DT4_EMULATE=0 python -m orvix list" in result.stderr
    result = orvix_command("snap", "x.png", "--slot", "5", cwd=tmp_path)
    assert result.returncode == 1 and "ERR_NO_CAMERA" in result.stderr


def test_names_lists_the_settings_with_their_ranges():
    result = orvix_command("names")
    lines = result.stdout.splitlines()
    assert any(line.split()[:2] == ["gamma", "0..200"] for line in lines)
    assert any(line.split()[0] == "color_mode" and line.endswith("no") for line in lines)
