#!/usr/bin/env bash
# Builds FFmpeg 5.1 for Windows as static libraries from Debian's own source package, into
# a cache folder outside the clone. ARCH is i686 (the default, the product) or x86_64. The
# cache is keyed by the source version, the configure flags and the compiler version, so
# a rebuild happens only when one of them changes. Prints the install prefix on its last
# line.
set -euo pipefail

arch=${1:-i686}
case $arch in
  i686) ffmpeg_arch=x86 ;;
  x86_64) ffmpeg_arch=x86_64 ;;
  *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;;
esac
cache_root=${QUORVEL_WIN_CACHE:-/var/cache/quorvel-windows}
cross=$arch-w64-mingw32
cc=$cross-gcc-posix

# Everything here is LGPL-2.1-or-later FFmpeg code (no --enable-gpl, no --enable-version3,
# no nonfree); configure refuses a GPL-only component without --enable-gpl. The lists are
# the containers and codecs a player is expected to open: film rips (AC-3/DTS in MKV),
# broadcast TS (AC-3, AAC-LATM), DVD/VOB and MPEG-PS, FLV, ASF/WMV/WMA, raw elementary
# streams, the PCM and ADPCM family, Apple (ALAC, CAF, AIFF), AMR, DV and IVF.
demuxers=(
  mov matroska avi mp3 wav mpegts ogg nut flac aac image2 png_pipe
  mpegps mpegvideo flv asf h264 hevc m4v ac3 eac3 dts dtshd aiff amr amrnb amrwb caf w64
  ivf dv loas
)
decoders=(
  h264 hevc mpeg4 mpeg2video mpeg1video vp8 vp9 mjpeg theora ffv1 rawvideo png
  msmpeg4v1 msmpeg4v2 msmpeg4v3 wmv1 wmv2 wmv3 vc1 h263 flv vp6f dvvideo
  aac aac_latm mp3 mp3float mp2 mp2float vorbis opus flac alac ac3 eac3 dca amrnb amrwb
  wmav1 wmav2 wmapro wmalossless dvaudio
  'pcm_*' 'adpcm_*'
)
parsers=(
  h264 hevc mpeg4video mpegvideo vp8 vp9 mjpeg aac aac_latm mpegaudio vorbis opus flac
  png ac3 dca vc1 h263 amr dvaudio
)
join() { local IFS=,; echo "$*"; }
flags=(
  --enable-cross-compile --target-os=mingw32 --arch=$ffmpeg_arch --cross-prefix=$cross-
  --cc=$cc --cxx=$cross-g++-posix --x86asmexe=nasm
  --disable-everything --disable-autodetect --enable-w32threads
  --disable-programs --disable-doc --disable-network --disable-debug
  --disable-shared --enable-static
  --disable-avdevice --disable-avfilter --disable-postproc
  --enable-avformat --enable-avcodec --enable-swscale --enable-swresample
  --enable-protocol=file --enable-zlib
  "--enable-demuxer=$(join "${demuxers[@]}")"
  "--enable-decoder=$(join "${decoders[@]}")"
  "--enable-parser=$(join "${parsers[@]}")"
)

ensure_tools() {
  # zlib: the PNG decoder (cover pictures, still images) needs it.
  # nasm: FFmpeg's x86 assembly, without which H.264 and HEVC cost 1.4 to 2.6 times the CPU.
  if ! command -v $cc >/dev/null || ! command -v nasm >/dev/null ||
     [ ! -f /usr/$cross/lib/libz.a ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      gcc-mingw-w64-${arch//_/-}-posix g++-mingw-w64-${arch//_/-}-posix dpkg-dev \
      libz-mingw-w64-dev nasm >/dev/null
  fi
}

# Adds a deb-src entry mirroring the machine's Debian entry (same URIs, suites, key).
ensure_deb_src() {
  local src=/etc/apt/sources.list.d/quorvel-deb-src.sources
  [ -f "$src" ] && return 0
  awk 'BEGIN{RS=""; ORS="\n\n"} /URIs: [^\n]*debian\/?(\n|$)/ && !/security/ {
         sub(/Types: deb/, "Types: deb-src"); print; exit }' \
    /etc/apt/sources.list.d/debian.sources > "$src"
  apt-get update -qq
}

fetch_source() {
  local dir=$1
  mkdir -p "$dir"
  (cd "$dir" && apt-get source -qq --download-only ffmpeg >/dev/null &&
   dpkg-source -x --no-check ffmpeg_*.dsc src >/dev/null)
}

main() {
  ensure_tools
  ensure_deb_src
  local version
  version=$(apt-cache showsrc ffmpeg | awk '/^Version:/ && !v {v = $2} END {print v}')
  local key
  key=$(printf '%s\n%s\n%s\n%s\n' "$version" "${flags[*]}" "$($cc --version | head -1)" \
        "$(nasm -v)" |
        sha256sum | cut -c1-16)
  local prefix=$cache_root/ffmpeg-$key
  if [ ! -f "$prefix/.complete" ]; then
    local work
    work=$(mktemp -d)
    fetch_source "$work"
    if ! (cd "$work/src" && ./configure --prefix="$prefix" "${flags[@]}" &&
          make -j"$(nproc)" && make install) > "$work/build.log" 2>&1; then
      tail -n 40 "$work/build.log" >&2
      exit 1
    fi
    # What the package's notices cite: the licence, the source and the configure flags.
    mkdir -p "$prefix/share/quorvel"
    cp "$work/src/COPYING.LGPLv2.1" "$prefix/share/quorvel/ffmpeg-COPYING.LGPLv2.1"
    { echo "Debian source package ffmpeg $version"
      echo "configure ${flags[*]}"; } > "$prefix/share/quorvel/ffmpeg-build.txt"
    rm -rf "$work"
    touch "$prefix/.complete"
  fi
  echo "$prefix"
}

main "$@"
