#!/usr/bin/env bash
# Builds the library and the orvix tool natively and runs the main job against the
# emulated camera: one snapshot saved to an image file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVIX_BUILD_ROOT:-$root/build}/release

"$root/scripts/install-deps.sh" native
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build"
"$build/bin/orvix" version
# The emulated camera, with a settings file of the build's own (the user's stay untouched).
export ORVIX_REGISTRY_FILE="$build/orvix-settings.reg" ORVIX_K62DT4_EMULATE=0
"$build/bin/orvix" list
# One snapshot of the emulated scene in 24-bit colour, saved as a BMP file.
"$build/bin/orvix" snap --color 24 --format bmp --out "$build/orvix-snap.bmp"
