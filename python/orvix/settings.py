"""The camera's named settings: their C functions, accepted values and meaning.

Each `Setting` becomes a property of `orvix.Camera` whose setter checks the value
(`check`) before the library is called, so a value outside the range raises
``ValueError`` naming the range and the camera is left as it was.
"""

import operator
from typing import NamedTuple, Optional, Tuple

__all__ = ["SETTINGS", "Setting", "check"]

INT_MAX = 2**31 - 1


class Setting(NamedTuple):
    """One named setting.

    ``attribute``: the property name on `orvix.Camera`; ``function``: the C name
    after ``Orvix_Set``/``Orvix_Get``; ``minimum``/``maximum``: the accepted range;
    ``choices``: the only accepted values, when not every value of the range is;
    ``flag``: a yes/no setting (read back as ``bool``); ``getter_reports_ok``: the
    getter takes the ``int* ok`` out-parameter; ``saved``: the library keeps the
    value for the next time the camera is opened; ``text``: what it does.
    """

    attribute: str
    function: str
    minimum: int
    maximum: int
    text: str
    saved: bool = True
    choices: Tuple[int, ...] = ()
    flag: bool = False
    getter_reports_ok: bool = True

    def range_text(self) -> str:
        """The accepted values, as error messages and ``python -m orvix names`` show them."""
        if self.flag:
            return "True or False"
        if self.choices:
            return ", ".join(str(c) for c in self.choices[:-1]) + " or %d" % self.choices[-1]
        if self.maximum == INT_MAX:
            return "%d or more" % self.minimum
        if self.attribute == "bayer_gain_rgb":
            return "0x000000..0xFFFFFF (0xBBGGRR)"
        return "%d..%d" % (self.minimum, self.maximum)


def _filter(attribute, function, minimum, maximum, text, **extra) -> Setting:
    return Setting(attribute, function, minimum, maximum, text, **extra)


#: Every named setting, in the order of the library's property ids, then the capture
#: format and stream settings.
SETTINGS: Tuple[Setting, ...] = (
    _filter("brightness", "Brightness", -255, 255, "Brightness step; 0 leaves the image as it is."),
    _filter("contrast", "Contrast", -127, 127, "Contrast step; 0 leaves the image as it is."),
    _filter("hue", "Hue", -360, 360, "Hue shift in degrees (colour modes)."),
    _filter("saturation", "Saturation", -255, 255, "Saturation step (colour modes)."),
    _filter("sharpness", "Sharpness", 0, 30, "Sharpening strength; 0 leaves the image unsharpened."),
    _filter("bayer_gain_rgb", "BayerGainRGB", 0, 0xFFFFFF,
            "The low bytes of the three Bayer gains packed as 0x00BBGGRR."),
    _filter("bayer_gain_red", "BayerGainRed", 0, 400, "White-balance gain of red in percent."),
    _filter("bayer_gain_green", "BayerGainGreen", 0, 400, "White-balance gain of green in percent (kept, not applied)."),
    _filter("bayer_gain_blue", "BayerGainBlue", 0, 400, "White-balance gain of blue in percent."),
    _filter("bayer_gain_auto", "BayerGainAuto", 0, 1, "Automatic white balance on every frame.", flag=True,
            saved=False),
    _filter("gamma", "Gamma", 0, 200, "Gamma in hundredths; 100 leaves the image as it is."),
    _filter("bayer_mode", "BayerMode", 0, 3, "Bayer pattern phase of the first pixel, 0..3."),
    _filter("global_gain", "GlobalGain", 0, 63,
            "Analog gain; also sets the four colour gains, sent to the camera at once."),
    _filter("color_gain_red", "ColorGainRed", 0, 63, "Analog gain of red (reads back as 0)."),
    _filter("color_gain_green1", "ColorGainGreen1", 0, 63, "Analog gain of the first green (reads back as 0)."),
    _filter("color_gain_green2", "ColorGainGreen2", 0, 63, "Analog gain of the second green (reads back as 0)."),
    _filter("color_gain_blue", "ColorGainBlue", 0, 63, "Analog gain of blue (reads back as 0)."),
    _filter("exposure_time", "ExposureTime", 0, 16383,
            "Exposure in sensor lines, sent to the camera at once; reads back what the camera "
            "was sent (within 8..1068)."),
    _filter("gray_mode", "GrayMode", 0, 2,
            "Monochrome 8-bit processing: 0 raw Bayer samples, 1 per-site gains and offsets, "
            "2 demosaiced luminance.", saved=False),
    _filter("gray_gain_r", "GrayGainR", 0, 255, "Monochrome gain of the red sites, 128 = 1.0."),
    _filter("gray_gain_g1", "GrayGainG1", 0, 255, "Monochrome gain of the first green sites, 128 = 1.0."),
    _filter("gray_gain_g2", "GrayGainG2", 0, 255, "Monochrome gain of the second green sites, 128 = 1.0."),
    _filter("gray_gain_b", "GrayGainB", 0, 255, "Monochrome gain of the blue sites, 128 = 1.0."),
    _filter("gray_offset_r", "GrayOffsetR", -255, 255, "Monochrome offset of the red sites."),
    _filter("gray_offset_g1", "GrayOffsetG1", -255, 255, "Monochrome offset of the first green sites."),
    _filter("gray_offset_g2", "GrayOffsetG2", -255, 255, "Monochrome offset of the second green sites."),
    _filter("gray_offset_b", "GrayOffsetB", -255, 255, "Monochrome offset of the blue sites."),
    # The capture format and stream settings: read at the next capture start.
    Setting("color_mode", "ColorMode", 8, 64,
            "Bits per pixel of the images: 8 or 16 (monochrome, 16 holding 10-bit samples), "
            "24 or 32 (colour, 8 bits a channel), 48 or 64 (colour, 10-bit samples in 16 bits).",
            saved=False, choices=(8, 16, 24, 32, 48, 64), getter_reports_ok=False),
    Setting("sub_sample", "SubSample", 0, 2,
            "Sub-sampling in each direction: 0 full size, 1 half, 2 a quarter.",
            saved=False, getter_reports_ok=False),
    Setting("wait_time", "WaitTime", 0, INT_MAX,
            "Milliseconds the preview waits before each look for a new frame.",
            saved=False, getter_reports_ok=False),
    Setting("half_clock", "HalfClock", 0, 1,
            "Half clock requested for the next capture start; reads back the clock the camera "
            "runs at now (it changes at the next capture start).", saved=False, flag=True),
    Setting("mirror_v", "MirrorV", 0, 1,
            "Vertical mirror flag; the camera has no mirror, so the image does not change and "
            "the flag reads back as the camera's state, False.",
            saved=True, flag=True, getter_reports_ok=False),
    Setting("auto_iris", "AutoIris", 0, 2,
            "Automatic exposure: 0 off, 1 corrects the exposure, 2 the gain."),
)


def check(setting: Setting, value) -> int:
    """The value as the library takes it, or ``TypeError``/``ValueError`` naming the
    accepted values."""
    if setting.flag and isinstance(value, bool):
        return int(value)
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError("%s takes an integer, not %s" % (setting.attribute, type(value).__name__)) from None
    accepted = number in setting.choices if setting.choices else setting.minimum <= number <= setting.maximum
    if not accepted:
        raise ValueError("%s must be %s, not %d" % (setting.attribute, setting.range_text(), number))
    return number


def find(attribute: str) -> Optional[Setting]:
    """The setting of that property name (case and ``-``/``_`` ignored), or None."""
    key = attribute.lower().replace("-", "_")
    for setting in SETTINGS:
        if setting.attribute == key or setting.function.lower() == key:
            return setting
    return None
