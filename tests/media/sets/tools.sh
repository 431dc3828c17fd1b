#!/usr/bin/env bash
# Fixtures of the quorvel-play tests.
set -euo pipefail
# shellcheck source=../lib.sh
. "$(dirname "$0")/../lib.sh"

# 2 s at 25 fps with a tone: the looping and seek tests see whole passes in a few seconds.
media loop_2s.mp4 -f lavfi -i testsrc=size=160x120:rate=25:duration=2 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 \
  -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a aac -ac 2 -shortest
# 10 s, longer than the engine reads ahead, so that a seek in it still finds the decoder
# running.
media seek_10s.mp4 -f lavfi -i testsrc=size=160x120:rate=25:duration=10 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=10 \
  -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a aac -ac 2 -shortest
