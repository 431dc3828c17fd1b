#!/usr/bin/env bash
# The README's play command: installs what is missing, builds quorvel-play, makes a 10 s
# demo clip (a moving test pattern with a tone) if there is none, and plays it with the
# status line, in a window when a display is available. Extra arguments go to
# `quorvel-play play`, e.g. ./scripts/play.sh --for 3 or ./scripts/play.sh --loop.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

build=build/plain
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_WERROR=ON \
  -DQUORVEL_SANITIZE="" >/dev/null
cmake --build "$build" -j "$(nproc)" --target quorvel-play >/dev/null

clip=demo/demo.mp4
if [ ! -f "$clip" ]; then
  echo "play: making $clip"
  mkdir -p demo
  ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=640x360:rate=25:duration=10 \
    -f lavfi -i sine=frequency=440:beep_factor=4:sample_rate=44100:duration=10 \
    -c:v libx264 -pix_fmt yuv420p -c:a aac -ac 2 -shortest "$clip.tmp.mp4"
  mv "$clip.tmp.mp4" "$clip"
fi

window=()
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then window=(--window); fi
exec "$build/tools/quorvel-play" play "${window[@]}" "$clip" "$@"
