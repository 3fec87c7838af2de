"""Failed calls raise orvix.Error with the library's code, its name and a sentence."""

import warnings

import pytest

import orvix
from conftest import run_python, stored_formats


def raised_by(action):
    with pytest.raises(orvix.Error) as raised:
        action()
    return raised.value


def test_every_code_has_its_name_and_a_sentence():
    header_names = {1: "ERR_NOT_INITIALIZED", 2: "ERR_NO_CAMERA", 3: "ERR_THREAD", 4: "ERR_WINDOW",
                    5: "ERR_MEMORY", 6: "ERR_DEVICE_IO", 7: "ERR_GEOMETRY", 8: "ERR_FRAME_TRANSFER",
                    9: "ERR_PARAMETER", 11: "ERR_UNSUPPORTED", 13: "ERR_TRANSFER_STOPPED",
                    15: "ERR_MONITOR_REQUEST"}
    for code, name in header_names.items():
        assert getattr(orvix, name) == code
        error = orvix.Error("Orvix_Something", code)
        assert (error.code, error.name, error.function) == (code, name, "Orvix_Something")
        assert str(error) == "Orvix_Something failed with %s (%d): %s" % (name, code, error.description)
        assert len(error.description.split()) >= 4
    assert set(orvix.ERROR_CODES) == set(header_names)
    assert orvix.Error("Orvix_X", 12).name == "ERR_12"


def test_an_empty_slot_raises_no_camera_and_releases_the_handle(monkeypatch):
    released = []
    library = orvix.library()
    real_release = library.Orvix_Release
    monkeypatch.setattr(library, "Orvix_Release", lambda handle: released.append(real_release(handle)))
    error = raised_by(lambda: orvix.Camera(slot=5))
    assert (error.code, error.name, error.function) == (2, "ERR_NO_CAMERA", "Orvix_SetDeviceNumber")
    assert "slot holds no camera" in str(error)
    assert released == [1]


def test_image_before_the_first_frame_raises_memory(cam):
    error = raised_by(cam.image)
    assert (error.code, error.function) == (orvix.ERR_MEMORY, "Orvix_GetImage")


def test_a_register_the_camera_refuses_raises_device_io(cam):
    error = raised_by(lambda: cam.read_register(0xFF))
    assert (error.code, error.function) == (orvix.ERR_DEVICE_IO, "Orvix_ReadRegister")


def test_a_stored_format_outside_the_sensor_raises_geometry(registry):
    registry.write_text(stored_formats((1360, 1024, 0, 0), (1300, 100, 100, 0), selected=1))
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        cam = orvix.Camera()
    with cam:
        assert [w.category for w in caught] == [orvix.GeometryWarning]
        assert cam.capture_window == (0, 0, 1360, 1024)
        error = raised_by(lambda: cam.select_format(1300, 100))
        assert (error.code, error.name) == (orvix.ERR_GEOMETRY, "ERR_GEOMETRY")
        assert "full frame is used" in str(error)
        assert cam.capture_window == (0, 0, 1360, 1024)


def test_a_window_the_camera_cannot_transfer_is_refused_by_the_library_too(cam):
    # Below the camera's 4 x 3 minimum, set past the package's check: the library
    # refuses it as well. The refused window stays stored, so a capture start refuses
    # it again instead of starting one whose every frame fails.
    error = raised_by(lambda: cam.call("Orvix_SetCaptureWindowEx", 1360, 0, 2, 1024, 0, 2))
    assert (error.code, error.function) == (orvix.ERR_GEOMETRY, "Orvix_SetCaptureWindowEx")
    assert cam.capture_window == (0, 0, 2, 2)
    error = raised_by(cam.snap)
    assert (error.code, error.function) == (orvix.ERR_GEOMETRY, "Orvix_SnapShot")
    cam.call("Orvix_SetCaptureWindowEx", 1360, 0, 4, 1024, 0, 3)
    assert cam.snap().shape[:2] == (3, 4)


def test_calls_of_your_own_raise_the_library_codes(cam):
    assert raised_by(lambda: cam.call("Orvix_Fps", 0)).code == orvix.ERR_UNSUPPORTED
    assert raised_by(lambda: cam.call("Orvix_SetGlobalGain", 64)).code == orvix.ERR_PARAMETER
    assert cam.call("Orvix_GetStatus", 0) == 0  # 0 with nothing queued is a result


def test_a_preview_window_without_a_display_raises_window(cam, monkeypatch):
    monkeypatch.delenv("DISPLAY", raising=False)
    error = raised_by(lambda: cam.call("Orvix_Preview"))
    assert error.code == orvix.ERR_WINDOW


def test_without_cameras_the_list_is_empty_and_a_camera_raises_no_camera():
    child = run_python("""
        import orvix
        print(orvix.cameras())
        try:
            orvix.Camera(slot=0)
        except orvix.Error as error:
            print(error.code, error.name)
    """, emulate=";rate=0")
    assert child.stdout.split("\n")[:2] == ["[]", "2 ERR_NO_CAMERA"]


def test_a_closed_camera_raises_instead_of_calling(cam):
    cam.close()
    cam.close()
    error = raised_by(lambda: cam.gamma)
    assert error.code == 0 and "closed" in str(error)
    assert cam.closed
