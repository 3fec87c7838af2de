#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. Linux with AddressSanitizer and UndefinedBehaviorSanitizer: `unit` tests, then
#      the `x11` tests under Xvfb, the `usb` tests (the USB camera driver against fake
#      cameras under umockdev), then the hostile-argument sweep over every export
#      (`sweep`), then the Python package's tests (pytest) against that
#      library; the settings file's parser fuzzed for a minute (clang); then the
#      `unit`, `x11` and `usb` tests again under ThreadSanitizer, and the library built with
#      clang's thread-safety analysis of its lock annotations;
#   2. Linux release build of the library, tool and benchmark programs (built, not
#      run): the SDK tree (`cmake --install`) and .deb, with applications built
#      against them (tests/packaging);
#   3. Windows x86_64 (MinGW-w64): the same tests under Wine, inside Xvfb; the SDK
#      ZIP, with applications built against it and run under Wine;
#   4. Windows i686 (MinGW-w64): the library and tool (32-bit programs cannot run here),
#      its export table checked against the header, the stack alignment of its SSE
#      code checked in the disassembly, the SDK ZIP with applications linked against
#      it, and the image-library test program, linked only.
# The Windows builds link the image libraries that scripts/build-thirdparty.sh
# cross-builds once into a cache outside the tree (the first run takes a few minutes).
# Build folders go to $ORVIX_BUILD_ROOT (default: build/ in the source tree).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVIX_BUILD_ROOT:-$root/build}

# The benchmark peers too: the release build below compiles the benchmarks against them.
"$root/scripts/install-deps.sh" native test bench

step() { printf '\n==== %s (%s)\n' "$*" "$(date +%T)"; }
# Compiler cache, outside the tree like the image libraries' cache, so a second run
# on the same machine recompiles only what changed.
export CCACHE_DIR=${ORVIX_CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/orvix-ccache}
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
configure() { # folder, extra cmake arguments...
  local dir=$1; shift
  cmake -S "$root" -B "$build/$dir" -G Ninja -DORVIX_WERROR=ON "${launcher[@]}" "$@" >/dev/null
}
xvfb() { xvfb-run -a -s "-screen 0 1920x1200x24" "$@"; }
# Runs `ctest <arguments>` in a build folder as two halves at once (odd and even test
# numbers), each under an X server of its own, so the windows of one half never cover
# those of the other, and prints both logs. With WINE_PREFIXES set (two folders), each
# half runs under Wine in a prefix of its own.
two_displays() { # build folder, ctest arguments...
  local dir=$1 half status=0; shift
  local pids=()
  for half in 1 2; do
    (
      cd "$dir"
      if [ -n "${WINE_PREFIXES:-}" ]; then
        read -r -a prefixes <<<"$WINE_PREFIXES"
        export ORVIX_WINEPREFIX=${prefixes[$((half - 1))]}
      fi
      xvfb-run -a -n $((100 * half)) -s "-screen 0 1920x1200x24" \
        ctest "$@" -I "$half,,2" --output-on-failure >"$dir/ctest-half-$half.log" 2>&1
    ) &
    pids+=($!)
  done
  for half in 1 2; do wait "${pids[$((half - 1))]}" || status=1; done
  cat "$dir/ctest-half-1.log" "$dir/ctest-half-2.log"
  return $status
}
# The sanitizer builds: the library at -O1 with line tables (enough for the
# sanitizers' reports, a third less compile time than -O2 -g), the test programs
# unoptimised (their assertion macros are most of the build's time, while the work they
# test runs in the library). The Windows test programs likewise, without debug
# information (nothing under Wine reads it).
sanitized=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DORVIX_TEST_COMPILE_OPTIONS=-O0)

step "Linux build (address and undefined-behaviour sanitizers)"
configure linux-asan "${sanitized[@]}" -DORVIX_SANITIZE=address,undefined
cmake --build "$build/linux-asan"
step "Linux tests: unit"
(cd "$build/linux-asan" && ctest -L unit -LE sweep -j2 --output-on-failure)
step "Linux tests: x11 (two halves at once, each under an Xvfb of its own)"
two_displays "$build/linux-asan" -L x11 -LE sweep
step "Linux tests: usb (the USB camera driver, through libusb, against fake cameras under umockdev)"
(cd "$build/linux-asan" && ctest -L usb -LE x11 --no-tests=error --output-on-failure) # the usb x11 ones ran above
step "Linux hostile-argument sweep: every export in every capture state (the dialogs without a display)"
(cd "$build/linux-asan" && xvfb ctest -L sweep --output-on-failure)

step "Python package: installed into a virtual environment, its tests against the sanitizer build"
# The AddressSanitizer library built above, so memory faults the Python paths provoke
# are caught at no extra build time; its runtime has to be loaded before the
# interpreter's libraries, and the interpreter's own allocations at exit are no leaks.
# Debian's Python and numpy; the package is built from a copy, so the tree stays clean.
venv="$build/python-venv"
rm -rf "$venv" "$build/python-package"
cp -r "$root/python" "$build/python-package"
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install --quiet --no-index --no-build-isolation "$build/python-package"
# The emulated driver reports each request it refused into a folder (the GoogleTest
# programs check theirs themselves); the Python tests must leave theirs empty.
rejections="$build/python-rejections"
rm -rf "$rejections" && mkdir -p "$rejections"
(cd "$build" && ORVIX_LIBRARY="$build/linux-asan/bin/libOrvixSdk_K62DT4.so" ORVIX_K62DT4_EMULATE_REJECTIONS="$rejections" \
  LD_PRELOAD="$(gcc -print-file-name=libasan.so)" ASAN_OPTIONS=detect_leaks=0 PYTHONDONTWRITEBYTECODE=1 \
  "$venv/bin/python" -m pytest -q -p no:cacheprovider "$root/python/tests")
if [ -n "$(ls -A "$rejections")" ]; then
  cat "$rejections"/*; echo "the emulated driver refused requests of the Python tests"; exit 1
fi

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

step "Linux build and tests under ThreadSanitizer: unit, then x11 under Xvfb"
configure linux-tsan "${sanitized[@]}" -DORVIX_SANITIZE=thread
cmake --build "$build/linux-tsan"
# The sweep runs under the address sanitizer above; here it would take many minutes.
(cd "$build/linux-tsan" && ctest -L unit -LE sweep -j2 --output-on-failure)
two_displays "$build/linux-tsan" -L x11 -LE sweep
(cd "$build/linux-tsan" && ctest -L usb -LE x11 --no-tests=error --output-on-failure)

step "Lock annotations checked by clang's thread-safety analysis (the library only)"
configure linux-thread-safety -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DORVIX_THREAD_SAFETY=ON -DORVIX_BUILD_TESTS=OFF
cmake --build "$build/linux-thread-safety" --target OrvixSdk_K62DT4

step "Linux release build and its SDK packages (install tree and .deb, applications built against them)"
# With the benchmark programs, so a change that breaks one shows here (they are not run).
configure linux-release -DCMAKE_BUILD_TYPE=Release -DORVIX_BUILD_TESTS=OFF -DORVIX_BUILD_BENCH=ON
cmake --build "$build/linux-release"
"$root/tests/packaging/package-test.sh" linux "$build/linux-release"

step "Image libraries for Windows (built once into a cache outside the tree)"
thirdparty64=$("$root/scripts/build-thirdparty.sh" x86_64)
thirdparty32=$("$root/scripts/build-thirdparty.sh" i686)
echo "$thirdparty64"; echo "$thirdparty32"

step "Windows x86_64 build"
configure mingw64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVIX_THIRDPARTY_PREFIX="$thirdparty64" "-DORVIX_TEST_COMPILE_OPTIONS=-O0;-g0"
cmake --build "$build/mingw64"
step "Windows x86_64 tests under Wine (two halves at once, each in a prefix and an Xvfb of its own)"
rm -rf "$build/mingw64"/wineprefix*
WINE_PREFIXES="$build/mingw64/wineprefix-1 $build/mingw64/wineprefix-2" two_displays "$build/mingw64" -L wine
export ORVIX_WINEPREFIX="$build/mingw64/wineprefix-1"
step "Windows x86_64 SDK package (applications built against it, run under Wine)"
xvfb "$root/tests/packaging/package-test.sh" windows "$build/mingw64" x86_64

step "Windows i686 build"
configure mingw32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIX_BUILD_TESTS=OFF \
  -DORVIX_THIRDPARTY_PREFIX="$thirdparty32"
cmake --build "$build/mingw32"
step "Windows i686 export table (exactly the declared names, undecorated)"
cmake --build "$build/mingw32" --target orvix_check_exports
step "Windows i686 stack alignment (no aligned SSE access to the stack before the frame is realigned)"
cmake --build "$build/mingw32" --target orvix_check_stack_alignment
step "Windows i686 SDK package (applications linked against it, their import tables checked)"
"$root/tests/packaging/package-test.sh" windows "$build/mingw32" i686
step "Windows i686 link check of the image libraries (the test program is linked, not run)"
configure mingw32-imagelibs -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVIX_THIRDPARTY_PREFIX="$thirdparty32"
cmake --build "$build/mingw32-imagelibs" --target image_libs_test

step "All tests passed"
