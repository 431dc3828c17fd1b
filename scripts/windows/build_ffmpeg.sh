#!/usr/bin/env bash
# Builds FFmpeg 5.1 for Windows as static libraries from Debian's own source package, with
# dav1d for AV1 (build_dav1d.sh), into a cache folder outside the clone. ARCH is i686 (the
# default, the product) or x86_64. The cache is keyed by the source version, the configure
# flags, the compiler and assembler versions and dav1d's own key, so a rebuild happens
# only when one of them changes. Prints the install prefixes on its last line as a CMake
# list: FFmpeg's, then dav1d's (which FFmpeg's libavcodec links).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/library_build.sh"

# Everything here is LGPL-2.1-or-later FFmpeg code (no --enable-gpl, no --enable-version3,
# no nonfree); configure refuses a GPL-only component without --enable-gpl. The lists are
# the containers and codecs a player is expected to open: film rips (AC-3/DTS in MKV),
# broadcast TS (AC-3, AAC-LATM), DVD/VOB and MPEG-PS, FLV, ASF/WMV/WMA, raw elementary
# streams, the PCM and ADPCM family, Apple (ALAC, CAF, AIFF), AMR, DV and IVF; AV1 (web
# video, phones, screen recorders) through dav1d, whose licence is BSD-2-Clause.
demuxers=(
  mov matroska avi mp3 wav mpegts ogg nut flac aac image2 image_png_pipe
  mpegps mpegvideo flv asf h264 hevc m4v ac3 eac3 dts dtshd aiff amr amrnb amrwb caf w64
  ivf dv loas
)
decoders=(
  h264 hevc mpeg4 mpeg2video mpeg1video vp8 vp9 mjpeg theora ffv1 rawvideo png
  msmpeg4v1 msmpeg4v2 msmpeg4v3 wmv1 wmv2 wmv3 vc1 h263 flv vp6f dvvideo
  aac aac_latm mp3 mp3float mp2 mp2float vorbis opus flac alac ac3 eac3 dca amrnb amrwb
  wmav1 wmav2 wmapro wmalossless dvaudio libdav1d
  'pcm_*' 'adpcm_*'
)
parsers=(
  h264 hevc mpeg4video mpegvideo vp8 vp9 mjpeg aac aac_latm mpegaudio vorbis opus flac
  png ac3 dca vc1 h263 amr dvaudio av1
)
join() { local IFS=,; echo "$*"; }
flags=(
  --enable-cross-compile --target-os=mingw32 --arch=$x86_family --cross-prefix=$cross-
  --cc=$cc --cxx=$cross-g++-posix --x86asmexe=nasm
  --disable-everything --disable-autodetect --enable-w32threads
  --disable-programs --disable-doc --disable-network --disable-debug
  --disable-shared --enable-static
  --disable-avdevice --disable-avfilter --disable-postproc
  --enable-avformat --enable-avcodec --enable-swscale --enable-swresample
  --enable-protocol=file --enable-zlib
  --enable-libdav1d --pkg-config=pkg-config --pkg-config-flags=--static
  "--enable-demuxer=$(join "${demuxers[@]}")"
  "--enable-decoder=$(join "${decoders[@]}")"
  "--enable-parser=$(join "${parsers[@]}")"
)

# FFmpeg's C code keeps GCC's default 32-bit target, while the engine and dav1d are built
# for SSE2: with SSE on, GCC realigns the stack of 32-bit Windows code and so loses EBP,
# and the CABAC inline assembly, which needs seven registers, no longer compiles. FFmpeg's
# SIMD (its assembly) is chosen at run time whatever the C code is built for.

ensure_tools() {
  # zlib: the PNG decoder (cover pictures, still images) needs it.
  # nasm: FFmpeg's x86 assembly, without which H.264 and HEVC cost 1.4 to 2.6 times the CPU.
  if ! command -v $cc >/dev/null || ! command -v nasm >/dev/null ||
     ! command -v pkg-config >/dev/null ||
     [ ! -f /usr/$cross/lib/libz.a ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      gcc-mingw-w64-${arch//_/-}-posix g++-mingw-w64-${arch//_/-}-posix dpkg-dev \
      libz-mingw-w64-dev nasm pkg-config >/dev/null
  fi
}

main() {
  ensure_tools
  local dav1d
  dav1d=$("$here/build_dav1d.sh" "$arch" | tail -n 1)
  ensure_deb_src
  local version
  version=$(source_version ffmpeg)
  local key
  key=$(cache_key "$version" "${flags[*]}" "$($cc --version | head -1)" "$(nasm -v)" "$dav1d")
  local prefix=$cache_root/ffmpeg-$key
  if [ ! -f "$prefix/.complete" ]; then
    local work
    work=$(mktemp -d)
    fetch_source ffmpeg "$work"
    if ! (cd "$work/src" &&
          PKG_CONFIG_LIBDIR=$dav1d/lib/pkgconfig PKG_CONFIG_PATH='' \
            ./configure --prefix="$prefix" "${flags[@]}" &&
          make -j"$(nproc)" && make install) > "$work/build.log" 2>&1; then
      tail -n 40 "$work/build.log" >&2
      exit 1
    fi
    # What the package's notices cite: the licence, the source and the configure flags.
    mkdir -p "$prefix/share/quorvel"
    cp "$work/src/COPYING.LGPLv2.1" "$prefix/share/quorvel/ffmpeg-COPYING.LGPLv2.1"
    { echo "Debian source package ffmpeg $version"
      echo "configure ${flags[*]}"; } > "$prefix/share/quorvel/ffmpeg-build.txt"
    cp "$dav1d"/share/quorvel/dav1d-* "$prefix/share/quorvel/"
    rm -rf "$work"
    touch "$prefix/.complete"
  fi
  echo "$prefix;$dav1d"
}

main "$@"
