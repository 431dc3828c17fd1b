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
