"""Streams over the window-less preview: frames of the moving marker, and a preview that
is stopped however the loop ends."""

import signal
import subprocess
import sys

import numpy as np
import pytest

import orvix
from conftest import EMULATION, run_python

MARKER_LINES = (0, 928, 1360, 96)  # the marker moves along sensor lines 960..991
STILL_LINES = (0, 0, 1360, 512)  # nothing moves here


def assert_idle(cam):
    """The library's preview has stopped: a snapshot is refused while it runs."""
    assert cam.active_stream is None
    cam.snap()


def test_a_stream_yields_n_frames_of_the_moving_marker_then_stops(cam):
    cam.color_mode = 8
    cam.capture_window = MARKER_LINES
    frames = list(cam.stream(frames=6))
    assert len(frames) == 6
    for before, after in zip(frames, frames[1:]):
        changed_rows = np.nonzero((before != after).any(axis=1))[0]
        assert changed_rows.size > 0 and changed_rows.min() >= 32 and changed_rows.max() < 64
    assert all(f.shape == (96, 1360) and f.dtype == np.uint8 for f in frames)
    assert len({id(f.base) for f in frames}) == 6  # every frame is the caller's own
    assert_idle(cam)


def test_frames_come_in_the_order_asked_for(cam):
    cam.capture_window = MARKER_LINES
    with cam.stream(frames=2, order="rgb") as frames:
        for frame in frames:
            assert frame.shape == (96, 1360, 3) and frame.strides[2] == -1  # red first, still a view


def test_an_exception_in_the_loop_stops_the_preview(cam):
    cam.capture_window = MARKER_LINES
    with pytest.raises(RuntimeError):
        for n, _ in enumerate(cam.stream()):
            if n == 2:
                raise RuntimeError("stop")
    assert_idle(cam)


def test_leaving_the_loop_early_stops_the_preview(cam):
    cam.capture_window = MARKER_LINES
    for n, _ in enumerate(cam.stream(frames=100)):
        if n == 1:
            break
    assert_idle(cam)


def test_a_still_picture_times_out_and_stops_the_preview(cam):
    cam.capture_window = STILL_LINES
    stream = cam.stream(timeout=0.5)
    next(stream)
    with pytest.raises(orvix.StreamTimeout, match="no new frame arrived within 0.5 s"):
        next(stream)
    assert not stream.running
    assert_idle(cam)


def test_the_camera_refuses_other_work_while_it_streams(cam):
    with cam.stream() as stream:
        for action in (cam.snap, lambda: cam.stream(), lambda: setattr(cam, "capture_window", (0, 0, 8, 8))):
            with pytest.raises(orvix.Error, match="the camera is streaming") as raised:
                action()
            assert raised.value.code == 0
        assert cam.active_stream is stream
    assert_idle(cam)


def test_closing_the_camera_ends_its_stream(cam):
    stream = cam.stream()
    next(stream)
    cam.close()
    assert not stream.running
    assert list(stream) == []


def test_failed_transfers_are_counted_and_a_stopped_transfer_raises(cam, monkeypatch):
    cam.capture_window = MARKER_LINES
    library = cam.library
    real = library.Orvix_GetLastError
    injected = []  # codes the capture thread would queue, newest last
    monkeypatch.setattr(library, "Orvix_GetLastError", lambda handle: injected.pop() if injected else real(handle))
    stream = cam.stream()
    next(stream)
    injected.append(orvix.ERR_FRAME_TRANSFER)
    next(stream)
    assert stream.lost == 1
    injected.append(orvix.ERR_TRANSFER_STOPPED)
    with pytest.raises(orvix.Error) as raised:
        next(stream)
    assert raised.value.code == orvix.ERR_TRANSFER_STOPPED
    assert not stream.running
    assert_idle(cam)


def test_two_cameras_stream_at_once():
    with orvix.Camera(slot=0) as first, orvix.Camera(slot=3) as second:
        for cam in (first, second):
            cam.capture_window = MARKER_LINES
        second.color_mode = 8
        pairs = list(zip(first.stream(frames=4), second.stream(frames=4)))
        assert len(pairs) == 4
        assert all(a.shape == (96, 1360, 3) and b.shape == (96, 1360) for a, b in pairs)
        assert not np.array_equal(pairs[0][1], pairs[-1][1])
        assert_idle(first)
        assert_idle(second)


def test_frames_must_be_positive(cam):
    with pytest.raises(ValueError, match="frames must be 1.."):
        cam.stream(frames=0)


def test_ctrl_c_while_waiting_for_a_frame_leaves_the_camera_stopped():
    code = """
        import signal, sys, orvix
        signal.signal(signal.SIGINT, signal.default_int_handler)  # see _ctrl_c_as_at_a_terminal
        cam = orvix.Camera()
        cam.capture_window = %r
        try:
            for n, frame in enumerate(cam.stream(timeout=60)):
                print("streaming", flush=True)
        except KeyboardInterrupt:
            print("interrupted", cam.active_stream is None, flush=True)
            cam.snap()
            cam.close()
            print("released", cam.closed, flush=True)
    """ % (STILL_LINES,)
    child = subprocess.Popen([sys.executable, "-c", code.replace("\n        ", "\n")], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=_child_env())
    assert child.stdout.readline() == "streaming\n"  # now waiting for a frame that never changes
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=60)
    assert child.returncode == 0, err
    assert out.split("\n")[:2] == ["interrupted True", "released True"]


def test_ctrl_c_in_the_loop_body_releases_the_camera_at_exit(registry):
    child = run_python("""
        import os, signal, orvix
        signal.signal(signal.SIGINT, signal.default_int_handler)  # see _ctrl_c_as_at_a_terminal
        cam = orvix.Camera()
        cam.gamma = 150
        cam.capture_window = %r
        for n, frame in enumerate(cam.stream()):
            if n == 1:
                os.kill(os.getpid(), signal.SIGINT)
    """ % (MARKER_LINES,), check=False)
    assert child.returncode in (-signal.SIGINT, 1, 130), child.stderr
    assert "KeyboardInterrupt" in child.stderr
    # The release at exit saved the filters.
    assert '"Gamma"=dword:00000096' in registry.read_text()


# _ctrl_c_as_at_a_terminal: a run started in the background of a shell without job
# control (CI runners, `script &`) hands its programs SIGINT ignored, and Python then
# keeps ignoring it; the children take Ctrl-C's usual meaning back first.


def _child_env():
    import os

    return dict(os.environ, ORVIX_K62DT4_EMULATE=EMULATION)
