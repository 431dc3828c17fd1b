#!/usr/bin/env bash
# Builds dav1d, the AV1 decoder FFmpeg 5.1 needs for AV1 (it has no software AV1 decoder of
# its own), for Windows as a static library from Debian's own source package, with its
# x86 assembly (nasm), into a cache folder outside the clone. ARCH is i686 (the default,
# the product) or x86_64. The cache is keyed by the source version, the meson options and
# cross file, and the compiler, assembler and meson versions. Prints the install prefix
# on its last line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/library_build.sh"
# The 32-bit DLL is built for SSE2 (every processor a supported Windows runs on has it);
# the assembly picks its own level at run time either way.
c_args=""
if [ "$arch" = i686 ]; then c_args="'-msse2', '-mfpmath=sse'"; fi

cross_file() {
  cat <<CROSS
[binaries]
c = '$cc'
ar = '$cross-ar'
strip = '$cross-strip'
windres = '$cross-windres'
nasm = 'nasm'

[built-in options]
c_args = [$c_args]

[host_machine]
system = 'windows'
cpu_family = '$x86_family'
cpu = '$arch'
endian = 'little'
CROSS
}
# 8-bit and 10/12-bit streams; no programs or tests, only the library.
options=(
  --buildtype=release -Db_ndebug=true --default-library=static --libdir=lib
  -Dbitdepths=8,16 -Denable_asm=true -Denable_tools=false -Denable_tests=false
  -Denable_examples=false -Denable_docs=false -Dxxhash_muxer=disabled
)

ensure_tools() {
  if ! command -v $cc >/dev/null || ! command -v nasm >/dev/null ||
     ! command -v meson >/dev/null || ! command -v ninja >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      gcc-mingw-w64-${arch//_/-}-posix dpkg-dev nasm meson ninja-build >/dev/null
  fi
}

main() {
  ensure_tools
  ensure_deb_src
  local version key
  version=$(source_version dav1d)
  key=$(cache_key "$version" "${options[*]}" "$(cross_file)" "$($cc --version | head -1)" \
        "$(nasm -v)" "$(meson --version)")
  local prefix=$cache_root/dav1d-$key
  if [ ! -f "$prefix/.complete" ]; then
    local work
    work=$(mktemp -d)
    fetch_source dav1d "$work"
    cross_file > "$work/cross.txt"
    if ! { meson setup "$work/build" "$work/src" --cross-file "$work/cross.txt" \
             --prefix="$prefix" "${options[@]}" &&
           ninja -C "$work/build" -j"$(nproc)" && ninja -C "$work/build" install; } \
         > "$work/build.log" 2>&1; then
      tail -n 40 "$work/build.log" >&2
      exit 1
    fi
    # What the package's notices cite: the licence and the source.
    mkdir -p "$prefix/share/quorvel"
    cp "$work/src/COPYING" "$prefix/share/quorvel/dav1d-COPYING"
    { echo "Debian source package dav1d $version"
      echo "meson ${options[*]}"; } > "$prefix/share/quorvel/dav1d-build.txt"
    rm -rf "$work"
    touch "$prefix/.complete"
  fi
  echo "$prefix"
}

main "$@"
