#!/usr/bin/env bash
# Cross-builds the image libraries of the Windows builds (zlib, libpng, libjpeg with
# the 6b interface, libtiff) as static libraries, from the Debian source packages:
#
#   scripts/build-thirdparty.sh [x86_64|i686|all]      (default: all)
#
# Prints the install prefix of each requested target on standard output, one a line;
# progress goes to standard error. Each prefix holds include/ and lib/ and lives in
#   ${ORVIX_THIRDPARTY_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvix-thirdparty}/<triple>
# outside the source tree. A prefix whose stamp names the same source versions,
# compiler and recipe is left alone, so later runs only print it.
#
# Sources come through a deb-src list of our own that takes the mirror from the
# system's apt configuration (which stays untouched); the package lists are
# fetched when missing, when a download fails, or when ORVIX_THIRDPARTY_UPDATE=1.
# Builds use ORVIX_THIRDPARTY_JOBS parallel jobs (default 2).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
recipe="$root/scripts/build-thirdparty.sh"
cache=${ORVIX_THIRDPARTY_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvix-thirdparty}
sources="$cache/sources"
source_packages=(zlib libpng1.6 libjpeg-turbo tiff)
jobs=${ORVIX_THIRDPARTY_JOBS:-2}

log() { printf 'build-thirdparty: %s\n' "$*" >&2; }
die() { log "error: $*"; exit 1; }

case "${1:-all}" in
  x86_64) triples=(x86_64-w64-mingw32) ;;
  i686)   triples=(i686-w64-mingw32) ;;
  all)    triples=(x86_64-w64-mingw32 i686-w64-mingw32) ;;
  *) echo "usage: $0 [x86_64|i686|all]" >&2; exit 2 ;;
esac

for tool in apt-get dpkg-source cmake ninja flock; do
  command -v "$tool" >/dev/null || die "'$tool' is missing (scripts/install-deps.sh installs it)"
done

mkdir -p "$cache" "$sources"
# One run at a time per cache: a second one waits, then finds the finished stamp.
exec 9>"$cache/.lock"
flock 9

# ---------------------------------------------------------------------------
# Source list and package lists

# Writes deb-src entries for the system's Debian mirror: the first URI of the first
# enabled `deb` stanza of debian.sources (else of the first `deb` line of sources.list),
# with every suite the system takes from that mirror. Other archives (the security
# one) are left out: their source files are not served here. Prints the file written.
write_source_list() {
  local deb822=/etc/apt/sources.list.d/debian.sources oneline=/etc/apt/sources.list
  if [ -r "$deb822" ]; then
    awk -v keyring=/usr/share/keyrings/debian-archive-keyring.gpg '
      function flush() {
        split(uris, u, /[ \t]+/)
        if (types ~ /(^| )deb( |$)/ && enabled != "no" && u[1] != "" && suites != "" \
            && (mirror == "" || u[1] == mirror)) {
          mirror = u[1]
          printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\nSigned-By: %s\n\n",
                 mirror, suites, (comps == "" ? "main" : comps), (signed == "" ? keyring : signed)
        }
        types = uris = suites = comps = signed = enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/   { next }   # continuation lines (an inline key block): not needed here
      {
        key = tolower($1); sub(/:$/, "", key)
        value = $0; sub(/^[^:]*:[ \t]*/, "", value); sub(/[ \t]+$/, "", value)
        if (key == "types") types = value
        else if (key == "uris") uris = value
        else if (key == "suites") suites = value
        else if (key == "components") comps = value
        else if (key == "signed-by" && value ~ /^\//) signed = value
        else if (key == "enabled") enabled = tolower(value)
      }
      END { flush() }' "$deb822" > "$sources/src.sources"
    [ -s "$sources/src.sources" ] || die "no enabled deb entry in $deb822"
    echo "$sources/src.sources"
  elif [ -r "$oneline" ]; then
    # deb [options] URI suite components...
    awk '$1 == "deb" {
           i = 2; if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
           if (mirror == "") mirror = $i
           if ($i == mirror) { $1 = "deb-src"; print }
         }' "$oneline" > "$sources/src.list"
    [ -s "$sources/src.list" ] || die "no deb line in $oneline"
    echo "$sources/src.list"
  else
    die "neither $deb822 nor $oneline exists"
  fi
}

source_list=$(write_source_list)
mkdir -p "$sources/lists/partial" "$sources/apt-cache/archives/partial" "$sources/probe"
# Our own list, package lists and apt cache; the system's sources.list.d is ignored.
apt_options=(
  -o "Dir::Etc::SourceList=$source_list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$sources/lists" -o "Dir::Cache=$sources/apt-cache"
)
if [ "$(id -u)" -eq 0 ]; then
  # The cache usually sits in root's home, which the download sandbox user cannot enter.
  apt_options+=(-o APT::Sandbox::User=root)
fi

update_lists() {
  log "fetching the source package lists"
  apt-get "${apt_options[@]}" -qq update >&2 || die "apt-get update failed"
  touch "$sources/lists/.complete"
}

# The .dsc file name of each source package in the lists (the newest version).
resolve_sources() {
  local pkg line
  dsc_files=()
  for pkg in "${source_packages[@]}"; do
    # Run in an empty folder: apt leaves out the files already present.
    line=$(cd "$sources/probe" && apt-get "${apt_options[@]}" -qq --print-uris source "$pkg" 2>/dev/null \
             | awk '$2 ~ /\.dsc$/ {print $2; exit}') || true
    [ -n "$line" ] || return 1
    dsc_files+=("$line")
  done
}

if [ "${ORVIX_THIRDPARTY_UPDATE:-0}" = 1 ] || [ ! -e "$sources/lists/.complete" ] \
   || ! cmp -s "$source_list" "$sources/lists/.source-list"; then
  update_lists
  cp "$source_list" "$sources/lists/.source-list"
fi
resolve_sources || { update_lists; resolve_sources; } || die "source packages not found: ${source_packages[*]}"

download_sources() {
  local missing=0 dsc
  for dsc in "${dsc_files[@]}"; do [ -e "$sources/$dsc" ] || missing=1; done
  [ "$missing" = 1 ] || return 0
  log "downloading ${source_packages[*]}"
  (cd "$sources" && apt-get "${apt_options[@]}" -qq source --download-only "${source_packages[@]}" >&2)
}

# ---------------------------------------------------------------------------
# Builds

simd=OFF
if command -v nasm >/dev/null; then simd=ON; fi

stamp_for() { # triple
  local triple=$1
  printf 'sources: %s\n' "${dsc_files[@]}"
  printf 'compiler: %s %s\n' "$("$triple-gcc-posix" -dumpfullversion)" \
    "$(sha256sum < "$root/cmake/toolchain-mingw-${triple%%-*}.cmake" | cut -d' ' -f1)"
  printf 'jpeg simd: %s\n' "$simd"
  printf 'recipe: %s\n' "$(sha256sum < "$recipe" | cut -d' ' -f1)"
}

# Configures, builds and (optionally) installs one CMake project into the stage.
cmake_build() { # name, source dir, install|target:<name>, cmake arguments...
  local name=$1 src=$2 what=$3; shift 3
  local dir="$work/build-$name"
  log "  $name"
  {
    cmake -S "$src" -B "$dir" -G Ninja -Wno-dev \
      -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
      -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$stage" \
      -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include \
      -DBUILD_SHARED_LIBS=OFF "$@"
    if [ "$what" = install ]; then
      cmake --build "$dir" -j "$jobs"
      cmake --install "$dir"
    else
      cmake --build "$dir" -j "$jobs" --target "${what#target:}"
    fi
  } >>"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; die "$name failed for $triple (log: $work/build.log)"; }
}

build_triple() {
  local triple=$1 arch=${1%%-*}
  local prefix="$cache/$triple" dsc
  work="$cache/work/$triple"
  stage="$cache/$triple.new"

  rm -rf "$work" "$stage"
  mkdir -p "$work/src" "$stage/include" "$stage/lib"
  # Each source package unpacks (Debian patches applied) into src/<package>.
  for dsc in "${dsc_files[@]}"; do
    dpkg-source -x "$sources/$dsc" "$work/src/${dsc%%_*}" >>"$work/build.log" 2>&1 \
      || die "unpacking $dsc failed (log: $work/build.log)"
  done
  local zlib_src="$work/src/zlib" png_src="$work/src/libpng1.6"
  local jpeg_src="$work/src/libjpeg-turbo" tiff_src="$work/src/tiff"

  # Our toolchain, without the test emulator: nothing built here is ever run, and
  # the libraries find each other in the stage.
  cat > "$work/toolchain.cmake" <<EOF
include("$root/cmake/toolchain-mingw-$arch.cmake")
unset(CMAKE_CROSSCOMPILING_EMULATOR)
list(APPEND CMAKE_FIND_ROOT_PATH "$stage")
EOF

  log "building for $triple (jpeg simd $simd)"
  cmake_build zlib "$zlib_src" target:zlibstatic
  cp "$work/build-zlib/zconf.h" "$zlib_src/zlib.h" "$stage/include/"
  cp "$work/build-zlib/libzlibstatic.a" "$stage/lib/libz.a"

  local zlib_args=(-DZLIB_INCLUDE_DIR="$stage/include" -DZLIB_LIBRARY="$stage/lib/libz.a")
  cmake_build libpng "$png_src" install "${zlib_args[@]}" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
    -DSKIP_INSTALL_EXECUTABLES=ON -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON \
    -DSKIP_INSTALL_EXPORT=ON

  cmake_build libjpeg "$jpeg_src" target:jpeg-static \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF \
    -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF -DWITH_12BIT=OFF -DWITH_SIMD="$simd" \
    -DREQUIRE_SIMD="$simd"
  cp "$jpeg_src/jpeglib.h" "$jpeg_src/jmorecfg.h" "$jpeg_src/jerror.h" \
     "$work/build-libjpeg/jconfig.h" "$stage/include/"
  cp "$work/build-libjpeg/libjpeg.a" "$stage/lib/libjpeg.a"

  # libtiff with the deflate and JPEG codecs on our zlib and libjpeg, nothing else.
  local off
  off=()
  for codec in jbig lerc lzma zstd webp libdeflate pixarlog old-jpeg jpeg12 cxx \
               tiff-tools tiff-tests tiff-contrib tiff-docs tiff-opengl sphinx; do
    off+=("-D$codec=OFF")
  done
  cmake_build libtiff "$tiff_src" install "${zlib_args[@]}" "${off[@]}" \
    -Dzlib=ON -Djpeg=ON \
    -DJPEG_INCLUDE_DIR="$stage/include" -DJPEG_LIBRARY="$stage/lib/libjpeg.a" \
    -DCMAKE_DISABLE_FIND_PACKAGE_OpenGL=ON -DCMAKE_DISABLE_FIND_PACKAGE_GLUT=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_Deflate=ON -DCMAKE_DISABLE_FIND_PACKAGE_LibLZMA=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_ZSTD=ON -DCMAKE_DISABLE_FIND_PACKAGE_WebP=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_JBIG=ON -DCMAKE_DISABLE_FIND_PACKAGE_LERC=ON

  for f in include/zlib.h include/png.h include/jpeglib.h include/tiffio.h \
           lib/libz.a lib/libpng16.a lib/libjpeg.a lib/libtiff.a; do
    [ -e "$stage/$f" ] || die "$f is missing after the build for $triple"
  done
  stamp_for "$triple" > "$stage/.orvix-stamp"
  rm -rf "$prefix"
  mv "$stage" "$prefix"
  rm -rf "$work"
  rmdir "$cache/work" 2>/dev/null || true
}

for triple in "${triples[@]}"; do
  prefix="$cache/$triple"
  command -v "$triple-gcc-posix" >/dev/null || die "$triple-gcc-posix is missing"
  if [ -f "$prefix/.orvix-stamp" ] && [ "$(stamp_for "$triple")" = "$(cat "$prefix/.orvix-stamp")" ]; then
    echo "$prefix"
    continue
  fi
  if ! download_sources; then
    update_lists; resolve_sources || die "source packages not found"; download_sources \
      || die "downloading the source packages failed"
  fi
  started=$SECONDS
  build_triple "$triple"
  log "$triple done in $((SECONDS - started)) s"
  echo "$prefix"
done
