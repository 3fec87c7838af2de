"""Settings as properties: round trips, range checks made before the library is called,
and what the library keeps from one process to the next."""

import pytest

import orvix
from conftest import run_python, stored_formats

# Settings that read back exactly what was written, with two values each.
ROUND_TRIPS = {
    "brightness": (-255, 40), "contrast": (127, -20), "hue": (-360, 30), "saturation": (255, -7),
    "sharpness": (30, 5), "bayer_gain_red": (400, 0), "bayer_gain_green": (0, 250), "bayer_gain_blue": (1, 399),
    "bayer_gain_auto": (True, False), "gamma": (200, 120), "bayer_mode": (0, 2), "global_gain": (63, 0),
    "exposure_time": (1068, 300), "gray_mode": (2, 1), "gray_gain_r": (255, 0), "gray_gain_g1": (200, 1),
    "gray_gain_g2": (3, 254), "gray_gain_b": (128, 7), "gray_offset_r": (-255, 255), "gray_offset_g1": (9, -9),
    "gray_offset_g2": (-1, 100), "gray_offset_b": (255, 0), "color_mode": (8, 48), "sub_sample": (2, 1),
    "wait_time": (0, 250), "auto_iris": (2, 0),
}
# Filters and gains the library saves when the camera is released.
KEPT = {"brightness": -40, "contrast": 12, "gamma": 140, "sharpness": 7, "bayer_gain_red": 150,
        "bayer_gain_blue": 80, "hue": -30, "saturation": 25, "bayer_mode": 1, "gray_gain_g2": 200,
        "gray_offset_b": -5, "global_gain": 33, "exposure_time": 500, "auto_iris": 1}


@pytest.mark.parametrize("name", sorted(ROUND_TRIPS))
def test_round_trip(cam, name):
    for value in ROUND_TRIPS[name]:
        setattr(cam, name, value)
        assert getattr(cam, name) == value


def test_every_setting_is_a_documented_property():
    attributes = {s.attribute for s in orvix.SETTINGS}
    assert set(ROUND_TRIPS) | {"bayer_gain_rgb", "color_gain_red", "color_gain_green1", "color_gain_green2",
                               "color_gain_blue", "half_clock", "mirror_v"} == attributes
    for name in attributes:
        assert "Accepts" in getattr(orvix.Camera, name).__doc__


def test_settings_the_library_reports_differently(cam):
    cam.bayer_gain_rgb = 0x302010
    assert (cam.bayer_gain_red, cam.bayer_gain_green, cam.bayer_gain_blue) == (0x10, 0x20, 0x30)
    cam.exposure_time = 5000
    assert cam.exposure_time == 1068  # what the camera was sent
    cam.color_gain_red = 20
    assert cam.color_gain_red == 0  # colour gains are not reported
    cam.mirror_v = True
    assert cam.mirror_v is False  # the camera has no mirror
    cam.half_clock = True
    assert cam.half_clock is False  # the camera's clock changes at the next capture start
    cam.snap()
    assert cam.half_clock is True


@pytest.mark.parametrize("name, value, message", [
    ("gamma", 201, "gamma must be 0..200, not 201"),
    ("brightness", -256, "brightness must be -255..255, not -256"),
    ("color_mode", 12, "color_mode must be 8, 16, 24, 32, 48 or 64, not 12"),
    ("sub_sample", 3, "sub_sample must be 0..2, not 3"),
    ("wait_time", -1, "wait_time must be 0 or more, not -1"),
    ("bayer_gain_rgb", 0x1000000, r"bayer_gain_rgb must be 0x000000..0xFFFFFF \(0xBBGGRR\), not 16777216"),
    ("global_gain", 64, "global_gain must be 0..63, not 64"),
])
def test_out_of_range_raises_value_error_before_the_library_is_called(cam, monkeypatch, name, value, message):
    setting = next(s for s in orvix.SETTINGS if s.attribute == name)
    calls = []
    monkeypatch.setattr(cam.library, "Orvix_Set" + setting.function, lambda *args: calls.append(args))
    before = getattr(cam, name)
    with pytest.raises(ValueError, match=message):
        setattr(cam, name, value)
    assert calls == [] and getattr(cam, name) == before


def test_values_of_the_wrong_type_are_refused(cam):
    with pytest.raises(TypeError, match="gamma takes an integer, not float"):
        cam.gamma = 1.5
    with pytest.raises(TypeError, match="capture_window takes four integers"):
        cam.capture_window = (0, 0, 640)


def test_capture_window_round_trip_and_limits(cam):
    cam.capture_window = (16, 8, 640, 480)
    assert cam.capture_window == (16, 8, 640, 480)
    assert cam.snap().shape == (480, 640, 3)
    for window in [(1, 0, 1360, 1024), (0, 1021, 4, 4), (-1, 0, 8, 8), (0, 0, 3, 8), (0, 0, 8, 2)]:
        with pytest.raises(ValueError, match="capture_window must lie on the 1360 x 1024 sensor"):
            cam.capture_window = window
    assert cam.capture_window == (16, 8, 640, 480)
    cam.capture_window = (1356, 1021, 4, 3)  # the smallest window, in the far corner
    assert cam.snap().shape == (3, 4, 3)


def test_select_format_uses_a_stored_format(registry):
    registry.write_text(stored_formats((1360, 1024, 0, 0), (640, 480, 16, 32)))
    with orvix.Camera() as cam:
        assert cam.capture_window == (0, 0, 1360, 1024)
        cam.select_format(640, 480)
        assert cam.capture_window == (16, 32, 640, 480)
        with pytest.raises(orvix.Error, match="no stored capture format is 320 x 240") as raised:
            cam.select_format(320, 240)
        assert raised.value.code == 0


def test_filters_and_gains_are_kept_for_the_next_process(registry):
    assignments = "; ".join("cam.%s = %r" % item for item in KEPT.items())
    run_python("import orvix\nwith orvix.Camera(slot=0) as cam:\n    %s\n    cam.color_mode = 8\n" % assignments)
    assert registry.exists()
    names = sorted(KEPT)
    reader = run_python(
        "import orvix\nwith orvix.Camera(slot=0) as cam:\n"
        "    print([getattr(cam, n) for n in %r], cam.color_mode)\n" % names)
    values, color_mode = reader.stdout.strip().rsplit(" ", 1)
    assert values == repr([KEPT[n] for n in names])
    assert color_mode == "24"  # the capture format is kept by the camera dialog only


def test_cameras_lists_slots_and_names():
    assert orvix.cameras() == [(0, "OrvixK62DT4_01"), (3, "OrvixK62DT4_02")]


def test_camera_info_and_monitor(cam):
    info = cam.info
    assert (info.width, info.height, info.global_gain, info.exposure) == (1360, 1024, (0, 1023), (8, 1068))
    cam.monitor.clock_mhz = 16
    assert cam.monitor.clock_mhz == 16
    cam.monitor.size = (800, 600)
    assert cam.monitor.size == (800, 600)
    cam.monitor.bayer_gain_blue = 0x1234
    assert cam.monitor.bayer_gain_blue == 0x1234
    cam.monitor.live = False
    assert cam.monitor.live is False
    with pytest.raises(ValueError, match="monitor size must be"):
        cam.monitor.size = (1024, 768)
    with pytest.raises(ValueError, match="clock_mhz must be 16, 24 or 48"):
        cam.monitor.clock_mhz = 20


def test_registers_and_serial_rom(cam):
    cam.write_fpga(0x40, 0xBEEF)
    assert cam.read_fpga(0x40) == 0xBEEF
    cam.write_srom_id(3, 0x5A)
    assert cam.read_srom_id(3) == 0x5A
    cam.write_register(0x20, 0x1234)
    assert cam.read_register(0x20) == 0x1234
    with pytest.raises(ValueError, match="address must be 16..255, not 15"):
        cam.read_fpga(0x0F)
    with pytest.raises(ValueError, match="value must be 0..65535"):
        cam.write_register(0x20, 0x10000)
