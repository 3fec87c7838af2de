#!/usr/bin/env bash
# Makes the SDK package of a built tree, installs it as a customer would and builds
# applications against the installed files only:
#
#   tests/packaging/package-test.sh linux <build dir>
#   tests/packaging/package-test.sh windows <build dir> x86_64|i686
#
# linux: `cmake --install` into a tree and the .deb (`--target package`); the file
#   list, SONAME and exports; the consumer CMake project and a plain
#   `cc $(pkg-config --cflags --libs OrvixSdk_K62DT4)` build against the tree (and
#   the latter against the unpacked .deb); every program and the installed tool take a
#   snapshot of the emulated camera.
# windows: the ZIP (`--target package`); the file list, stripped binaries with their
#   debug files, PE versions and exports; the consumer project (C89 and C++98, each
#   with and without NO_STRICT and WIN32_LEAN_AND_MEAN), a plain gcc build against
#   the .dll.a and a Microsoft-style link (clang, lld-link) against the .lib; every
#   program imports exactly the functions it calls, by their undecorated names. The
#   x86_64 programs run a session under Wine (ORVIX_WINEPREFIX as for the tests).
# Work files go to <build dir>/package-test.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/tests/packaging

fail() { echo "package-test: $*" >&2; exit 1; }
[ $# -ge 2 ] || { echo "usage: $0 linux <build dir> | windows <build dir> x86_64|i686" >&2; exit 2; }
kind=$1
build=$(cd "$2" && pwd)
work=$build/package-test
rm -rf "$work"
mkdir -p "$work"
version=$(sed -n 's/^project(OrvixSdk_K62DT4 VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
major=${version%%.*}
export_count=$(sed -n 's/^set(ORVIX_EXPORTED_FUNCTION_COUNT \([0-9]*\))$/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] && [ -n "$export_count" ] || fail "version or export count not found in CMakeLists.txt"

export ORVIX_K62DT4_EMULATE=0 ORVIX_REGISTRY_FILE=$work/settings.reg

expect_files() { # folder, relative paths...
  local dir=$1 f; shift
  for f in "$@"; do [ -e "$dir/$f" ] || fail "$dir/$f is missing"; done
}

check_exports() { # library, nm or objdump
  cmake -DLIBRARY="$1" -DHEADER="$root/include/OrvixSdk_K62DT4.h" -DEXPECTED_COUNT="$export_count" \
        -DTOOL="$2" -P "$root/cmake/CheckExports.cmake"
}

# The Orvix_ functions a source file calls, sorted.
called_functions() { grep -o 'Orvix_[A-Za-z_]*(' "$1" | tr -d '(' | sort -u; }

run_client() { # program [arguments...]; run in the work folder
  local output name=${*: -2:1}
  output=$(cd "$work" && "$@" 2>&1) || { echo "$output" >&2; fail "$(basename "$name") failed"; }
  echo "  $(basename "$name"): $(tail -n 1 <<<"$output")"
}

package_linux() {
  local prefix=$work/prefix deb_root=$work/deb deb program
  cmake --install "$build" --prefix "$prefix" >/dev/null
  rm -rf "$build/packages"
  cmake --build "$build" --target package >/dev/null
  deb=$(ls "$build"/packages/*.deb)
  echo "package: $deb"
  dpkg-deb -x "$deb" "$deb_root"
  dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "the .deb names no dependencies"
  dpkg-deb -f "$deb" Depends | grep -q libusb-1.0 || fail "the .deb does not depend on libusb"
  for tree in "$prefix" "$deb_root/usr"; do
    expect_files "$tree" include/OrvixSdk_K62DT4.h bin/orvix lib/pkgconfig/OrvixSdk_K62DT4.pc \
      lib/cmake/OrvixSdk/OrvixSdkConfig.cmake lib/cmake/OrvixSdk/OrvixSdkConfigVersion.cmake \
      "lib/libOrvixSdk_K62DT4.so.$version" "lib/libOrvixSdk_K62DT4.so.$major" lib/libOrvixSdk_K62DT4.so \
      share/doc/OrvixSdk_K62DT4/udev/70-orvix-k62dt4.rules
    readelf -d "$tree/lib/libOrvixSdk_K62DT4.so.$version" | grep -q "Library soname: \[libOrvixSdk_K62DT4.so.$major\]" \
      || fail "$tree: the SONAME is not libOrvixSdk_K62DT4.so.$major"
  done
  check_exports "$prefix/lib/libOrvixSdk_K62DT4.so.$version" nm

  cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/consumer" >/dev/null
  for program in "$work"/consumer/bin/client_*; do run_client "$program" "$(basename "$program").bmp"; done

  # The plain command of the README, against the tree and against the .deb's files.
  for tree in "$prefix" "$deb_root/usr"; do
    program=$work/plain-client-$([ "$tree" = "$prefix" ] && echo tree || echo deb)
    # shellcheck disable=SC2046 # pkg-config's words are meant to split
    cc -std=c89 -pedantic-errors -Wall -Wextra -Werror -o "$program" "$here/client.c" \
      $(PKG_CONFIG_PATH=$tree/lib/pkgconfig pkg-config --cflags --libs OrvixSdk_K62DT4)
    LD_LIBRARY_PATH=$tree/lib run_client "$program" "$(basename "$program").bmp"
  done
  "$prefix/bin/orvix" snap --color 24 --format bmp --out "$work/orvix-snap.bmp" >/dev/null
  [ -s "$work/orvix-snap.bmp" ] || fail "the installed orvix tool wrote no snapshot"
  echo "  installed orvix: snapshot written"
}

# The names a Windows program imports from the SDK's DLL, sorted.
sdk_imports() { # objdump, program
  "$1" -p "$2" | awk '
    /^\tDLL Name: / { inside = ($3 == "OrvixSdk_K62DT4.dll"); skip = 1; next }
    inside && skip { skip = 0; next }           # the column header
    inside && NF == 0 { inside = 0; next }
    inside { print $NF }' | sort -u
}

check_imports() { # objdump, program, source it was built from
  local imported expected
  imported=$(sdk_imports "$1" "$2")
  expected=$(called_functions "$3")
  if [ "$imported" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$imported") >&2 || true
    fail "$(basename "$2") does not import exactly the undecorated functions it calls (< called, > imported)"
  fi
}

check_pe_versions() { # objdump, binary
  local header
  header=$("$1" -p "$2")
  for field in "MajorOSystemVersion 6" "MinorOSystemVersion 1" "MajorSubsystemVersion 6" "MinorSubsystemVersion 1"; do
    grep -Eq "^${field% *}[[:space:]]+${field#* }$" <<<"$header" || fail "$(basename "$2"): $field expected"
  done
}

package_windows() {
  local arch=$1 triple=$1-w64-mingw32 objdump=$1-w64-mingw32-objdump bits zip sdk program name
  case "$arch" in x86_64) bits=64 ;; i686) bits=32 ;; *) fail "unknown architecture $arch" ;; esac
  rm -rf "$build/packages"
  cmake --build "$build" --target package >/dev/null
  zip=$build/packages/OrvixSdk_K62DT4-$version-win$bits.zip
  [ -f "$zip" ] || fail "no package $zip"
  echo "package: $zip"
  (cd "$work" && cmake -E tar xf "$zip")
  sdk=$work/OrvixSdk_K62DT4-$version-win$bits
  expect_files "$sdk" bin/OrvixSdk_K62DT4.dll bin/orvix.exe include/OrvixSdk_K62DT4.h \
    lib/OrvixSdk_K62DT4.def lib/libOrvixSdk_K62DT4.dll.a lib/OrvixSdk_K62DT4.lib \
    lib/cmake/OrvixSdk/OrvixSdkConfig.cmake debug/OrvixSdk_K62DT4.dll.debug debug/orvix.exe.debug doc/README.md

  for name in OrvixSdk_K62DT4.dll orvix.exe; do
    "$objdump" -h "$sdk/bin/$name" | grep -q '\.debug_' && fail "$name is not stripped"
    "$objdump" -h "$sdk/bin/$name" | grep -q '\.gnu_debuglink' || fail "$name does not name its debug file"
    "$objdump" -h "$sdk/debug/$name.debug" | grep -q '\.debug_info' || fail "$name.debug holds no debug information"
    check_pe_versions "$objdump" "$sdk/bin/$name"
  done
  check_exports "$sdk/bin/OrvixSdk_K62DT4.dll" "$objdump"
  [ "$(grep -c '^  Orvix_' "$sdk/lib/OrvixSdk_K62DT4.def")" = "$export_count" ] || fail "the .def lists other than $export_count functions"

  cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DOrvixSdk_DIR="$sdk/lib/cmake/OrvixSdk" >/dev/null
  cmake --build "$work/consumer" >/dev/null
  mkdir -p "$work/plain"
  "$triple-gcc-posix" -std=c89 -pedantic-errors -Wall -Wextra -Werror -I"$sdk/include" -o "$work/plain/plain_client.exe" \
    "$here/client.c" -L"$sdk/lib" -lOrvixSdk_K62DT4
  cp "$sdk/bin/OrvixSdk_K62DT4.dll" "$work/plain/"

  # The .lib, linked as the Microsoft tools link: no MinGW library takes part.
  clang --target="$arch-pc-windows-msvc" -ffreestanding -std=c89 -Wall -Wextra -Werror -I"$sdk/include" \
    -c "$here/msvc_client.c" -o "$work/msvc_client.obj"
  lld-link /nologo /subsystem:console /nodefaultlib /entry:orvixClientEntry /out:"$work/msvc_client.exe" \
    "$work/msvc_client.obj" "$sdk/lib/OrvixSdk_K62DT4.lib"

  for program in "$work"/consumer/bin/client_*.exe "$work/plain/plain_client.exe"; do
    check_imports "$objdump" "$program" "$here/client.c"
  done
  check_imports "$objdump" "$work/msvc_client.exe" "$here/msvc_client.c"
  echo "  $(ls "$work"/consumer/bin/client_*.exe | wc -l) consumer programs, a plain gcc and a Microsoft-style" \
       "link: each imports the undecorated functions it calls"

  if [ "$arch" = x86_64 ]; then
    for program in "$work"/consumer/bin/client_*.exe "$work/plain/plain_client.exe"; do
      run_client "$root/scripts/wine-run.sh" "$program" "$(basename "$program" .exe).bmp"
    done
  fi
}

case "$kind" in
  linux) package_linux ;;
  windows) [ $# -eq 3 ] || fail "windows needs an architecture"; package_windows "$3" ;;
  *) fail "unknown kind $kind" ;;
esac
echo "package-test: $kind packages pass"
