#!/usr/bin/env bash
# Writes the benchmark clips into the folder given, each only when it is missing:
#   clip-1080p25.mp4  20 s 1920x1080 25 fps H.264 (3 B-frames, 2 s GOP) + 48 kHz stereo AAC
#   clip-720p30.mp4   20 s 1280x720 30 fps H.264 (3 B-frames, 2 s GOP) + 44.1 kHz stereo AAC
# and next to each its pictures' md5 and pts as FFmpeg decodes them (CLIP.framemd5), by
# which the harness knows which picture it was handed.
# x264 runs with -preset veryfast so that two cores make the clips in a minute or two; the
# decoder's work is what is measured, and veryfast keeps B-frames and CABAC.
set -euo pipefail
out=$1
mkdir -p "$out"

make_clip() {  # name size rate sample_rate
  local clip="$out/$1.mp4"
  if [[ ! -s $clip ]]; then
    ffmpeg -nostdin -loglevel error -y \
      -f lavfi -i "testsrc2=size=$2:rate=$3:duration=20" \
      -f lavfi -i "sine=frequency=440:sample_rate=$4:duration=20" \
      -c:v libx264 -preset veryfast -pix_fmt yuv420p -bf 3 -g $(($3 * 2)) \
      -keyint_min $(($3 * 2)) -sc_threshold 0 \
      -c:a aac -ac 2 -b:a 128k "$clip.part.mp4"
    mv "$clip.part.mp4" "$clip"
  fi
  if [[ ! -s $clip.framemd5 ]]; then
    ffmpeg -nostdin -loglevel error -y -copyts -i "$clip" -map 0:v -pix_fmt yuv420p \
      -f framemd5 "$clip.framemd5.part"
    mv "$clip.framemd5.part" "$clip.framemd5"
  fi
}

make_clip clip-1080p25 1920x1080 25 48000
make_clip clip-720p30 1280x720 30 44100
