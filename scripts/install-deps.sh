#!/usr/bin/env bash
# Installs the Debian 12 packages of the named groups, skipping those present:
#
#   scripts/install-deps.sh [native] [test] [bench]     (default: native test)
#
#   native  the native build of the library and the orvix tool (scripts/main.sh)
#   test    everything scripts/test.sh needs besides: GoogleTest, the MinGW-w64
#           toolchains, Wine, Xvfb, the independent image readers, the tools that
#           cross-build the image libraries, and those that make and check the SDK
#           packages; also Google Benchmark, so the benchmarks build after a test run
#   bench   the benchmark peers: Google Benchmark and OpenCV, the peer the kernel
#           benchmark compares against (never linked by the library)
#
# ORVIX_BENCH_DEPS=1 adds the bench group to the default. Runs apt-get as root, or
# through sudo.
set -euo pipefail

native=(
  build-essential cmake ninja-build pkg-config
  libx11-dev libgtk-3-dev libusb-1.0-0-dev
  libpng-dev libjpeg62-turbo-dev libtiff-dev zlib1g-dev
)
test=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev ccache
  # Windows cross builds and their test runs
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  mingw-w64-tools wine64
  # the fuzz target of the settings file's text format (clang's libFuzzer)
  libclang-rt-14-dev
  # the USB camera driver's tests: fake USB devices under umockdev
  umockdev libumockdev-dev
  # display for window and dialog tests, and independent image readers
  xvfb xauth x11-utils x11-apps python3 python3-pil libtiff-tools pngcheck
  # the Python package: installed into a virtual environment and tested with pytest
  python3-venv python3-pip python3-setuptools python3-numpy python3-pytest
  # a Japanese font, so the Japanese dialogs can be read on screen and in pictures
  fonts-ipafont-gothic
  # fetching and cross-building the image libraries of the Windows builds
  dpkg-dev ca-certificates debian-archive-keyring bzip2 xz-utils nasm
  # the SDK packages: the .deb's dependency list (file, dpkg-shlibdeps), the MSVC
  # import library (llvm-dlltool) and the Microsoft-style link against it (clang, lld)
  file llvm clang lld
)
bench=(libbenchmark-dev libopencv-dev)

groups=("$@")
if [ ${#groups[@]} -eq 0 ]; then
  groups=(native test)
  if [ "${ORVIX_BENCH_DEPS:-0}" = 1 ]; then groups+=(bench); fi
fi
packages=()
for group in "${groups[@]}"; do
  case "$group" in
    native) packages+=("${native[@]}") ;;
    test) packages+=("${test[@]}") ;;
    bench) packages+=("${bench[@]}") ;;
    *) echo "usage: $0 [native] [test] [bench]" >&2; exit 2 ;;
  esac
done

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
