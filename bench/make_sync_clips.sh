#!/usr/bin/env bash
# Writes the A/V sync clips into the folder given, each only when it is missing, and prints
# their names, one per line. Each clip is 8 s of black pictures with a white picture at the
# start of every whole second and silence with a 50 ms beep at the start of every whole
# second, so that a host can tell when it saw and when it heard each second begin:
#   sync-25.mp4 sync-30.mp4 sync-60.mp4     H.264 + AAC in MP4
#   sync-25.mkv sync-30.mkv sync-60.mkv     H.264 + AAC in Matroska
#   sync-25.webm sync-30.webm sync-60.webm  VP9 + Opus in WebM
#   sync-25.mpg sync-30.mpg sync-60.mpg     MPEG-2 + MP2 in MPEG-PS
#   sync-25-start.ts                        H.264 + AAC in MPEG-TS starting at 10 s
set -euo pipefail
out=$1
mkdir -p "$out"

# The sound's stamps start this much late (seconds): 0 but for Opus in WebM, whose first
# 312 samples FFmpeg 5.1 writes 6.5 ms early (its stamps take the decoder's delay off
# twice), so that without it the file itself would say the picture comes 6.5 ms after
# its sound.
sound_late=0
make_clip() { # NAME RATE VIDEO-AND-AUDIO-OPTIONS...
  local name=$1 rate=$2
  shift 2
  local clip=$out/$name
  echo "$clip"
  [[ -s $clip ]] && return
  ffmpeg -nostdin -loglevel error -y \
    -f lavfi -i "color=c=black:size=320x240:rate=$rate:duration=8,drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='lt(mod(n\,$rate)\,1)'" \
    -itsoffset "$sound_late" \
    -f lavfi -i "aevalsrc='if(lt(mod(t\,1)\,0.05)\,0.5*sin(2*PI*1000*t)\,0)':s=48000:d=8" \
    "$@" -ac 2 "$clip.part.${name##*.}" >&2
  mv "$clip.part.${name##*.}" "$clip"
}

h264=(-c:v libx264 -preset veryfast -pix_fmt yuv420p -bf 2 -c:a aac)
for rate in 25 30 60; do
  make_clip "sync-$rate.mp4" "$rate" "${h264[@]}"
  make_clip "sync-$rate.mkv" "$rate" "${h264[@]}"
  sound_late=0.0065
  make_clip "sync-$rate.webm" "$rate" -c:v libvpx-vp9 -deadline realtime -cpu-used 8 \
    -pix_fmt yuv420p -c:a libopus
  sound_late=0
  make_clip "sync-$rate.mpg" "$rate" -c:v mpeg2video -b:v 2M -c:a mp2 -f mpeg
done
make_clip sync-25-start.ts 25 "${h264[@]}" -output_ts_offset 10
