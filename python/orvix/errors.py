"""The exceptions of the package and the library's error codes."""

from typing import Dict, Optional, Tuple

__all__ = [
    "ERROR_CODES", "Error", "GeometryWarning", "StreamTimeout",
    "ERR_NOT_INITIALIZED", "ERR_NO_CAMERA", "ERR_THREAD", "ERR_WINDOW", "ERR_MEMORY",
    "ERR_DEVICE_IO", "ERR_GEOMETRY", "ERR_FRAME_TRANSFER", "ERR_PARAMETER", "ERR_UNSUPPORTED",
    "ERR_TRANSFER_STOPPED", "ERR_MONITOR_REQUEST",
]

ERR_NOT_INITIALIZED = 1
ERR_NO_CAMERA = 2
ERR_THREAD = 3
ERR_WINDOW = 4
ERR_MEMORY = 5
ERR_DEVICE_IO = 6
ERR_GEOMETRY = 7
ERR_FRAME_TRANSFER = 8
ERR_PARAMETER = 9
ERR_UNSUPPORTED = 11
ERR_TRANSFER_STOPPED = 13
ERR_MONITOR_REQUEST = 15

#: Every code the library queues: its ``ERR_`` name and what it means.
ERROR_CODES: Dict[int, Tuple[str, str]] = {
    ERR_NOT_INITIALIZED: ("ERR_NOT_INITIALIZED", "the camera has no device link, or the device did not answer"),
    ERR_NO_CAMERA: ("ERR_NO_CAMERA", "the selected slot holds no camera"),
    ERR_THREAD: ("ERR_THREAD", "the capture thread could not be started"),
    ERR_WINDOW: ("ERR_WINDOW", "the preview window could not be created"),
    ERR_MEMORY: ("ERR_MEMORY", "allocation failed, the buffer was too small, or there is no image yet"),
    ERR_DEVICE_IO: ("ERR_DEVICE_IO", "a register request or a transfer start or stop failed"),
    ERR_GEOMETRY: ("ERR_GEOMETRY", "the capture window lies outside the sensor"),
    ERR_FRAME_TRANSFER: ("ERR_FRAME_TRANSFER", "a frame could not be read from the camera"),
    ERR_PARAMETER: ("ERR_PARAMETER", "an argument is out of range"),
    ERR_UNSUPPORTED: ("ERR_UNSUPPORTED", "this camera does not support the function"),
    ERR_TRANSFER_STOPPED: ("ERR_TRANSFER_STOPPED", "the continuous transfer ended with an error"),
    ERR_MONITOR_REQUEST: ("ERR_MONITOR_REQUEST", "a monitor-control register request failed"),
}


class Error(Exception):
    """A library call failed.

    ``code`` is the code the library queued for the failure (one of the ``ERR_``
    constants), or 0 when it refused the call without queuing one; ``name`` is the
    code's ``ERR_`` name ("" for 0); ``function`` the C function that failed;
    ``description`` a sentence saying what went wrong.
    """

    def __init__(self, function: str, code: int = 0, description: Optional[str] = None):
        self.function = function
        self.code = code
        name, meaning = ERROR_CODES.get(code, ("", ""))
        if code and not name:
            name, meaning = "ERR_%d" % code, "an error code this package does not know"
        self.name = name
        self.description = description or meaning or "the call was refused"
        if name:
            text = "%s failed with %s (%d): %s" % (function, name, code, self.description)
        else:
            text = "%s failed: %s" % (function, self.description)
        super().__init__(text)


class StreamTimeout(Error, TimeoutError):
    """No new frame arrived within the stream's time-out."""


class GeometryWarning(UserWarning):
    """The stored capture format lay outside the sensor; the full frame is used."""
