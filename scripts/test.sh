#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. Linux with AddressSanitizer and UndefinedBehaviorSanitizer: `unit` tests, then
#      the `x11` tests under Xvfb; the settings file's parser fuzzed for a minute
#      (clang); then the `capture` tests again under ThreadSanitizer;
#   2. Windows x86_64 (MinGW-w64): the same tests under Wine, inside Xvfb;
#   3. Windows i686 (MinGW-w64): the library and tool (32-bit programs cannot run here),
#      its export table checked against the header, and the image-library test
#      program, linked only.
# The Windows builds link the image libraries that scripts/build-thirdparty.sh
# cross-builds once into a cache outside the tree (the first run takes a few minutes).
# Build folders go to $ORVIX_BUILD_ROOT (default: build/ in the source tree).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVIX_BUILD_ROOT:-$root/build}

"$root/scripts/install-deps.sh"

step() { printf '\n==== %s\n' "$*"; }
configure() { # folder, extra cmake arguments...
  local dir=$1; shift
  cmake -S "$root" -B "$build/$dir" -G Ninja -DORVIX_WERROR=ON "$@" >/dev/null
}
xvfb() { xvfb-run -a -s "-screen 0 1920x1200x24" "$@"; }

step "Linux build (address and undefined-behaviour sanitizers)"
configure linux-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIX_SANITIZE=address,undefined
cmake --build "$build/linux-asan"
step "Linux tests: unit"
(cd "$build/linux-asan" && ctest -L unit --output-on-failure)
step "Linux tests: x11 (under Xvfb)"
(cd "$build/linux-asan" && xvfb ctest -L x11 --output-on-failure)

step "Fuzzing the settings file's text format for 60 s (clang, libFuzzer with ASan and UBSan)"
configure linux-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORVIX_BUILD_FUZZ=ON
cmake --build "$build/linux-fuzz" --target registry_document_fuzz
rm -rf "$build/linux-fuzz/corpus" && mkdir -p "$build/linux-fuzz/corpus"
# New inputs go to the build folder; the seeds in tests/fuzz/corpus stay as they are.
if ! "$build/linux-fuzz/bin/registry_document_fuzz" "$build/linux-fuzz/corpus" "$root/tests/fuzz/corpus" \
  -max_total_time=60 -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/linux-fuzz/" >"$build/linux-fuzz/fuzz.log" 2>&1; then
  tail -n 80 "$build/linux-fuzz/fuzz.log"; echo "the fuzz target found a broken invariant (input saved as crash-*)"; exit 1
fi
grep -E "^Done|stat::number_of_executed_units" "$build/linux-fuzz/fuzz.log"

step "Linux capture tests under ThreadSanitizer (only their programs are built)"
configure linux-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIX_SANITIZE=thread
cmake --build "$build/linux-tsan" --target capture_snapshot_api_test capture_thread_x11_test capture_auto_exposure_test
(cd "$build/linux-tsan" && xvfb ctest -L capture --output-on-failure)

step "Image libraries for Windows (built once into a cache outside the tree)"
thirdparty64=$("$root/scripts/build-thirdparty.sh" x86_64)
thirdparty32=$("$root/scripts/build-thirdparty.sh" i686)
echo "$thirdparty64"; echo "$thirdparty32"

step "Windows x86_64 build"
configure mingw64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVIX_THIRDPARTY_PREFIX="$thirdparty64"
cmake --build "$build/mingw64"
step "Windows x86_64 tests under Wine"
export ORVIX_WINEPREFIX="$build/mingw64/wineprefix"
rm -rf "$ORVIX_WINEPREFIX"
(cd "$build/mingw64" && xvfb ctest -L wine --output-on-failure)

step "Windows i686 build"
configure mingw32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIX_BUILD_TESTS=OFF \
  -DORVIX_THIRDPARTY_PREFIX="$thirdparty32"
cmake --build "$build/mingw32"
step "Windows i686 export table (exactly the declared names, undecorated)"
cmake --build "$build/mingw32" --target orvix_check_exports
step "Windows i686 link check of the image libraries (the test program is linked, not run)"
configure mingw32-imagelibs -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVIX_THIRDPARTY_PREFIX="$thirdparty32"
cmake --build "$build/mingw32-imagelibs" --target image_libs_test

step "All tests passed"
