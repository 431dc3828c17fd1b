#!/usr/bin/env bash
# Writes one small fixture per container and codec family a Windows player is expected to
# open, into the folder given, with the Linux ffmpeg program. The Windows stage probes and
# plays each through quorvel.dll and through libquorvel.so and compares the answers.
# AMR, VC-1/WMV3 and WMA Pro have no encoder in Debian's ffmpeg, so they have no fixture.
set -euo pipefail
export MEDIA_OUT=$1
. "$(dirname "$0")/../media/lib.sh"
mkdir -p "$MEDIA_OUT/formats"
MEDIA_OUT=$MEDIA_OUT/formats

video() { echo "testsrc2=size=${2:-160x120}:rate=25:duration=$1"; }
tone() { echo "sine=frequency=440:sample_rate=${2:-48000}:duration=$1"; }
av() { # NAME SECONDS VIDEO-ARGS AUDIO-ARGS MORE...
  local name=$1 seconds=$2 v=$3 a=$4; shift 4
  # shellcheck disable=SC2086
  media "$name" -f lavfi -i "$(video "$seconds")" -f lavfi -i "$(tone "$seconds")" \
    $v $a -ac 2 -shortest "$@"
}
audio() { # NAME AUDIO-ARGS... (1 s of stereo)
  local name=$1; shift
  media "$name" -f lavfi -i "$(tone 1)" -ac 2 "$@"
}
raw_video() { # NAME CODEC-ARGS...
  local name=$1; shift
  media "$name" -f lavfi -i "$(video 1)" -pix_fmt yuv420p "$@"
}

# Film rips and broadcast: AC-3, E-AC-3 and DTS beside H.264, AAC in LATM.
av h264_ac3.mkv 1 "-c:v libx264 -pix_fmt yuv420p" "-c:a ac3"
av h264_eac3.mkv 1 "-c:v libx264 -pix_fmt yuv420p" "-c:a eac3"
av h264_dts.mkv 1 "-c:v libx264 -pix_fmt yuv420p" "-c:a dca -strict -2"
av h264_ac3.ts 1 "-c:v libx264 -pix_fmt yuv420p" "-c:a ac3"
av h264_latm.ts 1 "-c:v libx264 -pix_fmt yuv420p" "-c:a aac" -mpegts_flags latm
# DVD and MPEG program streams, FLV, ASF/WMV, MS-MPEG4 in AVI, DV, IVF.
av mpeg2_ac3.vob 1 "-c:v mpeg2video -b:v 400k" "-c:a ac3" -f vob
av mpeg1_mp2.mpg 1 "-c:v mpeg1video -b:v 400k" "-c:a mp2"
av flv1_mp3.flv 1 "-c:v flv1" "-c:a libmp3lame" -ar 44100
av wmv2_wmav2.wmv 1 "-c:v wmv2" "-c:a wmav2"
av wmv1_wmav1.asf 1 "-c:v wmv1" "-c:a wmav1"
av msmpeg4v3_mp3.avi 1 "-c:v msmpeg4" "-c:a libmp3lame"
av msmpeg4v2_adpcm.avi 1 "-c:v msmpeg4v2" "-c:a adpcm_ms"
media dv_pal.dv -f lavfi -i "$(video 1 720x576)" -f lavfi -i "$(tone 1)" -c:v dvvideo \
  -pix_fmt yuv420p -c:a pcm_s16le -ac 2 -shortest
raw_video vp8.ivf -c:v libvpx -b:v 200k
# AV1 (web video, phones, screen recorders): WebM with Opus, MP4 with AAC, 10-bit in
# Matroska (the 16-bit half of dav1d and the reduction to 8 bits), IVF.
av1="-c:v libaom-av1 -cpu-used 8 -threads 1 -row-mt 0"
av av1_opus.webm 1 "$av1 -pix_fmt yuv420p" "-c:a libopus"
av av1_aac.mp4 1 "$av1 -pix_fmt yuv420p" "-c:a aac"
av av1_10bit_flac.mkv 1 "$av1 -pix_fmt yuv420p10le" "-c:a flac"
raw_video av1.ivf $av1
# Elementary streams.
raw_video raw.h264 -c:v libx264
raw_video raw.hevc -c:v libx265 -x265-params log-level=none
raw_video raw.m4v -c:v mpeg4
raw_video raw.m1v -c:v mpeg1video
raw_video raw.m2v -c:v mpeg2video
audio raw.ac3 -c:a ac3
audio raw.eac3 -c:a eac3
audio raw.dts -c:a dca -strict -2
audio raw.latm -c:a aac -f latm
# Apple, Wave64, the PCM and the ADPCM family.
audio alac.m4a -c:a alac
audio alac.caf -c:a alac
audio pcm_s16be.aiff -c:a pcm_s16be
audio pcm_s24le.w64 -c:a pcm_s24le
for codec in pcm_s24le pcm_s32le pcm_f32le pcm_alaw pcm_mulaw adpcm_ima_wav adpcm_ms; do
  audio $codec.wav -c:a $codec
done
audio wmav2.wma -c:a wmav2
