"""`Stream`: the newest frames of the window-less preview, as arrays."""

import time
from typing import Optional

import numpy as np

from .errors import ERR_FRAME_TRANSFER, ERR_MEMORY, ERR_TRANSFER_STOPPED, Error, StreamTimeout
from .image import Layout, view

__all__ = ["Stream"]

# Bounds of the pause between two looks at the newest image: a quarter of the frame
# period seen so far, 5 ms until two frames have arrived.
_POLL_MIN = 0.001
_POLL_MAX = 0.02
_POLL_FIRST = 0.005


class Stream:
    """An iterator over the newest frames of the window-less preview.

    Made by `orvix.Camera.stream`, which has started the preview. Each frame is a new
    array the caller owns (a view over its own copy, row padding stepped over). The
    preview is stopped when the last of ``frames`` frames has been handed out, when the
    iteration raises (a failed transfer, a time-out, Ctrl-C), when the loop is left and
    the stream is dropped, or by `close` (also as a context manager).

    The window-less preview tells the caller no frame count, so a frame is recognised as
    new when its image differs from the one before: two identical frames in a row count
    as one. ``received`` counts the frames handed out, ``lost`` the frames the library
    reported as failed transfers (``ERR_FRAME_TRANSFER``).
    """

    def __init__(self, calls, shape: Layout, frames: Optional[int], order: str, timeout: float):
        self._calls = calls
        self.layout = shape
        self.frames = frames
        self.order = order
        self.timeout = timeout
        self.received = 0
        self.lost = 0
        self.running = False
        self._reference: Optional[np.ndarray] = None  # the last frame's samples, as words
        self._last_frame_time: Optional[float] = None
        self._poll = _POLL_FIRST
        calls.call("Orvix_StartPreview", refused="the camera is capturing in another mode")
        self.running = True

    def __iter__(self) -> "Stream":
        return self

    def __next__(self) -> np.ndarray:
        if not self.running:
            raise StopIteration
        try:
            frame = self._next_frame()
        except BaseException:
            self.abandon()
            raise
        self.received += 1
        if self.frames is not None and self.received >= self.frames:
            self.close()
        return frame

    def __enter__(self) -> "Stream":
        return self

    def __exit__(self, exc_type, exc, traceback) -> None:
        if exc_type is None:
            self.close()
        else:
            self.abandon()

    def __del__(self) -> None:
        try:
            self.abandon()
        except Exception:  # the interpreter may be shutting down
            pass

    def close(self) -> None:
        """Stops the preview (``Orvix_StopPreview``); `Error` when the library reports
        that the transfer had ended with an error. Closing twice does nothing."""
        if not self.running:
            return
        self.running = False
        if self._calls.handle is None:
            return  # the camera was released, which stopped the capture
        self._calls.call("Orvix_StopPreview")

    def abandon(self) -> None:
        """Stops the preview like `close`, ignoring a failure to stop it (used while
        another exception is on its way)."""
        try:
            self.close()
        except Error:
            pass

    # ---- frames ------------------------------------------------------------------------------

    def _next_frame(self) -> np.ndarray:
        size = self.layout.size
        buffer = np.empty(size, np.uint8)
        deadline = time.monotonic() + self.timeout
        get_image = self._calls.function("Orvix_GetImage")
        while True:
            got = get_image(self._calls.handle, buffer.ctypes.data, size, 1)
            self._take_queued_errors(got)
            if got and self._is_new(buffer):
                return view(buffer, self.layout, self.order)
            if time.monotonic() >= deadline:
                raise StreamTimeout("Orvix_GetImage", 0, "no new frame arrived within %g s" % self.timeout)
            time.sleep(self._poll)

    def _take_queued_errors(self, got_image: bool) -> None:
        for code in self._calls.drain():
            if code == ERR_FRAME_TRANSFER:
                self.lost += 1
            elif code == ERR_MEMORY and not got_image:
                continue  # no frame processed yet
            elif code == ERR_TRANSFER_STOPPED:
                raise Error("the preview", code, "the continuous transfer ended with an error (camera unplugged?)")
            else:
                raise Error("Orvix_GetImage", code)

    def _is_new(self, buffer: np.ndarray) -> bool:
        words = buffer.view(np.uint32)  # rows are whole multiples of 4 bytes
        if self._reference is None:
            # Until the first frame of the preview has been processed, the library hands
            # out the image it prepared at the start: all zero bytes.
            if not words.any():
                return False
            self._reference = words.copy()
        elif np.array_equal(words, self._reference):
            return False
        else:
            np.copyto(self._reference, words)
        self._note_frame_time()
        return True

    def _note_frame_time(self) -> None:
        now = time.monotonic()
        if self._last_frame_time is not None:
            quarter_period = (now - self._last_frame_time) / 4
            self._poll = min(_POLL_MAX, max(_POLL_MIN, quarter_period))
        self._last_frame_time = now
