#!/usr/bin/env bash
# Fixtures for the instance: the playable limits of picture size and frame rate, each on
# both sides of the boundary. Five flat frames of ffv1 in NUT (exact frame-rate time base,
# any size accepted; 4:4:4 so odd sizes stay odd), so even the 1920x1080 ones stay tiny.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"

limit() { # NAME SIZE RATE
  media "$1" -f lavfi -i "color=c=gray:size=$2:rate=$3,format=yuv444p" -frames:v 5 \
    -c:v ffv1
}

limit limit_w99.nut 99x80 25
limit limit_w100.nut 100x80 25
limit limit_w1920.nut 1920x80 25
limit limit_w1921.nut 1921x80 25
limit limit_h79.nut 100x79 25
limit limit_h80.nut 100x80 25
limit limit_h1080.nut 100x1080 25
limit limit_h1081.nut 100x1081 25
limit limit_r4.nut 160x120 4
limit limit_r5.nut 160x120 5
limit limit_r60.nut 160x120 60
limit limit_r61.nut 160x120 61
# Sixteen channels: more than the common layouts, still within the host's chunk size.
media audio_16ch.wav -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=1" -ac 16 \
  -c:a pcm_s16le
# A picture size that grows and shrinks back in one stream: three parts of 15 pictures,
# each also kept on its own for FFmpeg's reference decode.
grow_part() { # NAME SIZE OFFSET
  media "$1" -f lavfi -i "testsrc2=size=$2:rate=25:duration=0.6" -c:v libx264 \
    -pix_fmt yuv420p -output_ts_offset "$3"
}
grow_part size_grow1.ts 160x120 0
grow_part size_grow2.ts 320x240 0.6
grow_part size_grow3.ts 160x120 1.2
derived size_grow_shrink.ts 'cat size_grow1.ts size_grow2.ts size_grow3.ts > "$target"'
