#!/usr/bin/env bash
# Fixtures of the hostile-input table (tests/reliability/hostile_inputs_test.cpp): real
# recordings altered the way a downloaded file can be.
set -euo pipefail
# shellcheck source=../lib.sh
. "$(dirname "$0")/../lib.sh"

# 8 s of 1080p H.264 in FLV whose metadata declares -1000 frames per second (the 8-byte
# AMF double after the "framerate" key: 25.0 becomes -1000.0).
media rate_25.flv -f lavfi -i testsrc=size=1920x1080:rate=25:duration=8 -c:v libx264 \
  -preset ultrafast -crf 40 -pix_fmt yuv420p
derived negative_rate.flv \
  'perl -0777 -pe "s/framerate\x00\x40\x39\x00{6}/framerate\x00\xc0\x8f\x40\x00\x00\x00\x00\x00/" rate_25.flv > "$target"'
# Two transport streams joined: 1 s at 320x240, then pictures far beyond the limits
# (8192x8192) or just beyond them (2000x1000).
media join_small.ts -f lavfi -i testsrc=size=320x240:rate=25:duration=1 -c:v libx264 \
  -preset ultrafast -pix_fmt yuv420p
media join_8192.ts -f lavfi -i color=c=gray:size=8192x8192:rate=25:duration=0.2 -c:v libx264 \
  -preset ultrafast -crf 51 -pix_fmt yuv420p -output_ts_offset 1
media join_2000.ts -f lavfi -i testsrc=size=2000x1000:rate=25:duration=1 -c:v libx264 \
  -preset ultrafast -crf 40 -pix_fmt yuv420p -output_ts_offset 1
derived grows_to_8192.ts 'cat join_small.ts join_8192.ts > "$target"'
derived grows_to_2000.ts 'cat join_small.ts join_2000.ts > "$target"'
