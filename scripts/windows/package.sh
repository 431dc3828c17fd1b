#!/usr/bin/env bash
# Makes the SDK zip of one architecture from a Windows build tree (scripts/windows/test.sh
# builds both): OUT_DIR/quorvel-VERSION-win32.zip or -win64.zip with
#   bin/quorvel.dll, bin/quorvel.pdb         the DLL and its CodeView debug information
#   lib/quorvel.lib, lib/quorvel.def         the import library for MSVC's link, its source
#   lib/libquorvel.dll.a                     the import library for MinGW
#   lib/cmake/Quorvel/                       find_package(Quorvel) -> Quorvel::quorvel
#   include/quorvel.h, LICENSE, THIRD-PARTY-NOTICES.txt
# Usage: package.sh i686|x86_64 BUILD_DIR OUT_DIR. Prints the zip's path on its last line.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
packaging=$root/packaging/windows
arch=$1
build=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
case $arch in
  i686) suffix=win32 machine=i386 ;;
  x86_64) suffix=win64 machine=i386:x86-64 ;;
  *) echo "usage: $0 i686|x86_64 BUILD_DIR OUT_DIR" >&2; exit 2 ;;
esac
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
ffmpeg=$(cache_value QUORVEL_WIN_PREFIXES | cut -d';' -f1)
[ -n "$version" ] && [ -f "$ffmpeg/share/quorvel/ffmpeg-build.txt" ] &&
  [ -f "$ffmpeg/share/quorvel/dav1d-build.txt" ] || {
  echo "package: $build is not a Windows build with a recorded FFmpeg and dav1d" >&2; exit 1; }

# The notices of what quorvel.dll links in: FFmpeg with its licence, source and configure
# line, dav1d with its licence, source and options, zlib, and the mingw-w64 and GCC runtime
# pieces, each with Debian's copyright record.
notices() { # FILE
  local ffmpeg_version dav1d_version
  ffmpeg_version=$(sed -n 's/^Debian source package ffmpeg //p' "$ffmpeg/share/quorvel/ffmpeg-build.txt")
  dav1d_version=$(sed -n 's/^Debian source package dav1d //p' "$ffmpeg/share/quorvel/dav1d-build.txt")
  section() { # TITLE FILE
    printf '\n\n%s\n%s\n\n' "$1" "$(printf '%s' "$1" | tr -c '\n' '=')"
    cat "$2"
  }
  {
    sed -e "s|@FFMPEG_VERSION@|$ffmpeg_version|g" -e "s|@DAV1D_VERSION@|$dav1d_version|g" \
      -e "s|@ZLIB_VERSION@|$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)|" \
      -e "s|@MINGW_VERSION@|$(dpkg-query -W -f='${Version}' mingw-w64-common)|" \
      -e "s|@GCC_VERSION@|$(dpkg-query -W -f='${Version}' gcc-mingw-w64-base)|" \
      "$packaging/THIRD-PARTY-NOTICES.txt.in"
    section "FFmpeg: how this copy was built" "$ffmpeg/share/quorvel/ffmpeg-build.txt"
    section "FFmpeg: GNU Lesser General Public License 2.1" \
      "$ffmpeg/share/quorvel/ffmpeg-COPYING.LGPLv2.1"
    section "dav1d: how this copy was built" "$ffmpeg/share/quorvel/dav1d-build.txt"
    section "dav1d: BSD 2-Clause licence" "$ffmpeg/share/quorvel/dav1d-COPYING"
    section "zlib: Debian copyright record" /usr/share/doc/libz-mingw-w64-dev/copyright
    section "mingw-w64 runtime and winpthreads: Debian copyright record" \
      /usr/share/doc/mingw-w64-common/copyright
    section "GCC runtime: Debian copyright record" /usr/share/doc/gcc-mingw-w64-base/copyright
  } > "$1"
}

name=quorvel-$version-$suffix
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
sdk=$stage/$name
mkdir -p "$sdk/bin" "$sdk/lib/cmake/Quorvel" "$sdk/include"
cp "$build/quorvel.dll" "$build/quorvel.pdb" "$sdk/bin/"
cp "$build/libquorvel.dll.a" "$sdk/lib/"
cp "$packaging/quorvel.def" "$sdk/lib/"
llvm-dlltool -m "$machine" -d "$sdk/lib/quorvel.def" -D quorvel.dll -l "$sdk/lib/quorvel.lib"
cp "$packaging/QuorvelConfig.cmake" "$build/sdk/QuorvelConfigVersion.cmake" \
  "$sdk/lib/cmake/Quorvel/"
cp "$root/include/quorvel.h" "$sdk/include/"
cp "$root/LICENSE" "$sdk/"
notices "$sdk/THIRD-PARTY-NOTICES.txt"

rm -f "$out/$name.zip"
(cd "$stage" && cmake -E tar cf "$(cd "$out" && pwd)/$name.zip" --format=zip "$name")
echo "$out/$name.zip"
