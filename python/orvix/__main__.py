"""``python -m orvix``: quick use of the camera from the command line.

::

    python -m orvix list                        # cameras found, with their slots
    python -m orvix snap out.png                # one frame saved to a file
    python -m orvix snap out.tif --color 48 gamma=120 sharpness=5
    python -m orvix names                       # the settings snap takes, with ranges
    python -m orvix version
"""

import argparse
import sys
from typing import List, Optional, Sequence, Tuple

from . import ERR_NO_CAMERA, Camera, Error, LibraryNotFound, cameras, library_version
from .settings import SETTINGS, check, find

EXIT_OK, EXIT_FAILED, EXIT_USAGE = 0, 1, 2

NO_CAMERA_HINT = (
    "no camera found.\n"
    "To use the emulated camera, set ORVIX_K62DT4_EMULATE to the slots to emulate, for example:\n"
    "  ORVIX_K62DT4_EMULATE=0 python -m orvix list"
)


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="python -m orvix", description="Drive K62DT4 cameras.")
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("list", help="the cameras found, with their slots")
    snap = commands.add_parser("snap", help="one frame saved to a file")
    snap.add_argument("out", nargs="?", default="orvix-snap.bmp",
                      help="file to write; the format follows the extension (.bmp .raw .jpg .png .tif)")
    snap.add_argument("--color", type=int, choices=(8, 16, 24, 32, 48, 64), help="bits per pixel")
    snap.add_argument("--slot", type=int, default=0, help="camera slot, 0..7 (default 0)")
    snap.add_argument("--quality", type=int, default=100, choices=(100, 70, 20), help="JPEG quality")
    snap.add_argument("settings", nargs="*", metavar="NAME=VALUE",
                      help="settings applied before the frame ('names' lists them)")
    snap.set_defaults(settings=[])
    commands.add_parser("names", help="the settings snap takes, with their ranges")
    commands.add_parser("version", help="the library version")
    return parser


def _parse_settings(pairs: Sequence[str]) -> List[Tuple[str, int]]:
    """NAME=VALUE pairs, checked against the settings' ranges; ValueError for a bad one."""
    parsed = []
    for pair in pairs:
        name, _, text = pair.partition("=")
        setting = find(name)
        if setting is None or not text:
            raise ValueError("unknown setting %r (NAME=VALUE; 'python -m orvix names' lists them)" % pair)
        try:
            value = int(text, 0)
        except ValueError:
            raise ValueError("%s takes an integer, not %r" % (setting.attribute, text)) from None
        parsed.append((setting.attribute, check(setting, value)))
    return parsed


def command_list() -> int:
    found = cameras()
    if not found:
        print("orvix: " + NO_CAMERA_HINT, file=sys.stderr)
        return EXIT_FAILED
    print("%d camera%s found" % (len(found), "" if len(found) == 1 else "s"))
    for slot, name in found:
        print("  %-16s slot %d" % (name, slot))
    return EXIT_OK


def command_snap(options: argparse.Namespace) -> int:
    try:
        settings = _parse_settings(options.settings)
    except ValueError as error:
        print("orvix: %s" % error, file=sys.stderr)
        return EXIT_USAGE
    try:
        cam = Camera(slot=options.slot)
    except Error as error:
        print("orvix: %s" % error, file=sys.stderr)
        if error.code == ERR_NO_CAMERA:
            print("orvix: " + NO_CAMERA_HINT, file=sys.stderr)
        return EXIT_FAILED
    with cam:
        if options.color:
            cam.color_mode = options.color
        for name, value in settings:
            setattr(cam, name, value)
        image = cam.snap()
        cam.save(options.out, quality=options.quality)
        height, width = image.shape[:2]
        print("saved a %d-bit frame of %d x %d to %s" % (cam.color_mode, width, height, options.out))
    return EXIT_OK


def command_names() -> int:
    print("%-18s %-32s %s" % ("name", "values", "kept by the library"))
    for setting in SETTINGS:
        print("%-18s %-32s %s" % (setting.attribute, setting.range_text(), "yes" if setting.saved else "no"))
    return EXIT_OK


def main(argv: Optional[Sequence[str]] = None) -> int:
    """Runs one command; returns the exit status (0 done, 1 failed, 2 wrong usage)."""
    parser = _parser()
    # NAME=VALUE pairs may come before or after the options.
    options, extra = parser.parse_known_args(argv)
    if extra and (options.command != "snap" or any(e.startswith("-") for e in extra)):
        parser.error("unrecognized arguments: %s" % " ".join(extra))
    if extra:
        options.settings = list(options.settings) + extra
    try:
        if options.command == "list":
            return command_list()
        if options.command == "snap":
            return command_snap(options)
        if options.command == "names":
            return command_names()
        print("OrvixSdk_K62DT4 %s" % library_version())
        return EXIT_OK
    except (Error, LibraryNotFound, OSError) as error:
        print("orvix: %s" % error, file=sys.stderr)
        return EXIT_FAILED
    except ValueError as error:  # a value outside its range
        print("orvix: %s" % error, file=sys.stderr)
        return EXIT_USAGE


if __name__ == "__main__":
    sys.exit(main())
