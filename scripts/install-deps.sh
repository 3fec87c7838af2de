#!/usr/bin/env bash
# Installs the Debian 12 packages the builds and tests need, skipping those present.
# Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  # native build and tests
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev libgtk-3-dev
  libpng-dev libjpeg62-turbo-dev libtiff-dev zlib1g-dev
  # Windows cross builds and their test runs
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  mingw-w64-tools wine64
  # the fuzz target of the settings file's text format (clang's libFuzzer)
  clang libclang-rt-14-dev
  # display for window and dialog tests, and independent image readers
  xvfb xauth x11-utils x11-apps python3 python3-pil libtiff-tools pngcheck
  # a Japanese font, so the Japanese dialogs can be read on screen and in pictures
  fonts-ipafont-gothic
  # fetching and cross-building the image libraries of the Windows builds
  dpkg-dev ca-certificates debian-archive-keyring bzip2 xz-utils nasm
)
# Optional: OpenCV, the peer the kernel benchmark compares against (never linked by
# the library). Installed with ORVIX_BENCH_DEPS=1.
if [ "${ORVIX_BENCH_DEPS:-0}" = 1 ]; then
  packages+=(libopencv-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
