#!/usr/bin/env bash
# Writes the benchmark clips into the folder given, each only when it is missing, and
# prints their names, one per line, in the order bench/run measures them. The matrix
# (the default set) is:
#   h264-1080p25-low    20 s 1920x1080 25 fps H.264, testsrc2 (flat areas) + 48 kHz AAC
#   h264-1080p25-high   12 s 1920x1080 25 fps H.264, mandelbrot (detail everywhere) + AAC
#   hevc-1080p25        12 s 1920x1080 25 fps HEVC 8-bit + 48 kHz AAC
#   hevc10-1080p25      12 s 1920x1080 25 fps HEVC 10-bit (the engine converts it) + AAC
#   vp9-720p30          12 s 1280x720 30 fps VP9, mandelbrot + 48 kHz Opus (WebM)
#   mpeg2-576i25        12 s 720x576 25 fps interlaced MPEG-2 + MP2 in MPEG-TS, starting
#                       at 0 s like the others (no mux delay), so that the A/V offset holds
#   hevc10-1080p60-noise  7 s 1920x1080 60 fps HEVC 10-bit at 53 Mbit/s, testsrc2 under
#                       moving noise (what a camera records) + AAC
#   h264-1080p60-noise  7 s 1920x1080 60 fps H.264 at 130 Mbit/s, the same source + AAC
# The first one is 20 s long because the seek benchmark spreads its targets over it. Next
# to each, its pictures' md5 and pts as FFmpeg decodes them to 8-bit 4:2:0
# (CLIP.framemd5), by which the harness knows which picture it was handed.
# The two noisy 1080p60 clips are the heaviest files the engine accepts; they are 7 s long
# only because encoding noise at 60 fps is slow on two cores.
# The set "memory" (bench/make_clips.sh DIR memory) is instead the two clips on which the
# memory of whole instances is measured, 10 s each, light content so that several
# instances can play at once on two cores:
#   h264-1080p60-light  10 s 1920x1080 60 fps H.264, testsrc2 + 48 kHz AAC
#   h264-720p30         10 s 1280x720 30 fps H.264, testsrc2 + 48 kHz AAC
# The encoders run at their fastest presets so that two cores make the clips in a few
# minutes; the decoders' work is what is measured, and those presets keep B-frames (x264,
# x265) and CABAC.
set -euo pipefail
out=$1
set_name=${2:-matrix}
mkdir -p "$out"

# name extension seconds size rate source video-options... -- audio-options...
make_clip() {
  local name=$1 ext=$2 seconds=$3 size=$4 rate=$5 source=$6
  shift 6
  local video=() audio=()
  while [[ $1 != -- ]]; do video+=("$1"); shift; done
  shift
  audio=("$@")
  local clip="$out/$name.$ext"
  echo "$clip"
  if [[ ! -s $clip ]]; then
    encode "$clip" "$ext" "$seconds" "$size" "$rate" "$source"
  fi
  if [[ ! -s $clip.framemd5 ]]; then
    ffmpeg -nostdin -loglevel error -y -copyts -i "$clip" -map 0:v -pix_fmt yuv420p \
      -f framemd5 "$clip.framemd5.part"
    mv "$clip.framemd5.part" "$clip.framemd5"
  fi
}

encode() {  # clip extension seconds size rate source, with video and audio set
  local clip=$1 ext=$2 seconds=$3 size=$4 rate=$5 source=$6
  ffmpeg -nostdin -loglevel error -y \
    -f lavfi -i "$source=size=$size:rate=$rate" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$seconds" \
    "${video[@]}" -g $((rate * 2)) -keyint_min $((rate * 2)) -sc_threshold 0 \
    "${audio[@]}" -ac 2 "$clip.part.$ext" >&2
  mv "$clip.part.$ext" "$clip"
}

x264=(-c:v libx264 -preset veryfast -pix_fmt yuv420p -bf 3)
x265=(-c:v libx265 -preset ultrafast -x265-params log-level=error:bframes=3)
aac=(-c:a aac -b:a 128k)

if [[ $set_name == memory ]]; then
  make_clip h264-1080p60-light mp4 10 1920x1080 60 testsrc2 "${x264[@]}" -- "${aac[@]}"
  make_clip h264-720p30 mp4 10 1280x720 30 testsrc2 "${x264[@]}" -- "${aac[@]}"
  exit 0
fi
[[ $set_name == matrix ]] || { echo "make_clips.sh: no clip set $set_name" >&2; exit 2; }

make_clip h264-1080p25-low mp4 20 1920x1080 25 testsrc2 "${x264[@]}" -- "${aac[@]}"
make_clip h264-1080p25-high mp4 12 1920x1080 25 mandelbrot "${x264[@]}" -- "${aac[@]}"
make_clip hevc-1080p25 mp4 12 1920x1080 25 testsrc2 "${x265[@]}" -pix_fmt yuv420p \
  -tag:v hvc1 -- "${aac[@]}"
make_clip hevc10-1080p25 mp4 12 1920x1080 25 testsrc2 "${x265[@]}" -pix_fmt yuv420p10le \
  -tag:v hvc1 -- "${aac[@]}"
make_clip vp9-720p30 webm 12 1280x720 30 mandelbrot -c:v libvpx-vp9 -deadline realtime \
  -cpu-used 8 -row-mt 1 -b:v 3M -pix_fmt yuv420p -- -c:a libopus -b:a 128k
make_clip mpeg2-576i25 ts 12 720x576 25 testsrc2 -c:v mpeg2video -b:v 6M -bf 2 \
  -flags +ilme+ildct -top 1 -pix_fmt yuv420p -- -c:a mp2 -b:a 192k -muxdelay 0 -muxpreload 0
# Noise that changes every picture, at a fixed bit rate, so the decoders get no easy areas.
noise=(-vf noise=alls=24:allf=t+u)
make_clip hevc10-1080p60-noise mp4 7 1920x1080 60 testsrc2 "${x265[@]}" "${noise[@]}" \
  -pix_fmt yuv420p10le -b:v 53M -tag:v hvc1 -- "${aac[@]}"
make_clip h264-1080p60-noise mp4 7 1920x1080 60 testsrc2 "${x264[@]}" "${noise[@]}" \
  -b:v 130M -maxrate 130M -bufsize 130M -- "${aac[@]}"
