#!/usr/bin/env bash
# Builds the import host in MSVC's ABI (clang-cl, lld-link) with CMake against an unpacked
# SDK zip, through find_package(Quorvel); kernel32.lib comes from llvm-dlltool.
# Usage: build.sh i686|x86_64 SDK_DIR OUT_DIR; writes OUT_DIR/import_host*.exe.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
arch=$1
sdk=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
case $arch in
  i686) machine=i386 ;;
  x86_64) machine=i386:x86-64 ;;
  *) echo "usage: $0 i686|x86_64 SDK_DIR OUT_DIR" >&2; exit 2 ;;
esac
def=$here/../legacy_host/kernel32.def
if [ "$arch" = x86_64 ]; then
  sed -E 's/@[0-9]+$//' "$def" > "$out/kernel32.def"
  def=$out/kernel32.def
fi
llvm-dlltool -m "$machine" -k -d "$def" -l "$out/kernel32.lib"
rm -rf "$out/cmake"
cmake -S "$here" -B "$out/cmake" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_HOST_ARCH="$arch" \
  -DCMAKE_TOOLCHAIN_FILE="$here/toolchain-clang-cl.cmake" -DCMAKE_PREFIX_PATH="$sdk" \
  -DCMAKE_C_STANDARD_LIBRARIES="$out/kernel32.lib" -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$out" \
  >/dev/null
cmake --build "$out/cmake" >/dev/null
