#!/usr/bin/env bash
# Fixtures of the host-level timeline tests: files whose timestamps do what real
# recordings' do.
set -euo pipefail
# shellcheck source=../lib.sh
. "$(dirname "$0")/../lib.sh"

tone() { echo "sine=frequency=$1:sample_rate=44100:duration=$2"; }

# Audio only, starting past the 10 s that the clock once allowed a chunk to be away.
media audio_start20.ts -f lavfi -i "$(tone 440 4)" -c:a mp2 -ac 2 -output_ts_offset 20
media audio_start20.mka -f lavfi -i "$(tone 440 4)" -c:a pcm_s16le -ac 2 -output_ts_offset 20
# 30 s of MP2 in a transport stream: seeks by bytes without pictures.
media audio_30s.ts -f lavfi -i "$(tone 440 30)" -c:a mp2 -ac 2
# Two recordings joined end to end, the second's timestamps 100 s later: with pictures,
# and sound alone.
join_part() { # NAME OFFSET FREQUENCY
  media "$1" -f lavfi -i testsrc=size=160x120:rate=25:duration=4 -f lavfi -i "$(tone "$3" 4)" \
    -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a aac -ac 2 -output_ts_offset "$2"
}
join_part join_a.ts 0 440
join_part join_b.ts 100 880
derived joined.ts 'cat join_a.ts join_b.ts > "$target"'
media join_audio_a.ts -f lavfi -i "$(tone 440 4)" -c:a mp2 -ac 2
media join_audio_b.ts -f lavfi -i "$(tone 880 4)" -c:a mp2 -ac 2 -output_ts_offset 100
derived joined_audio.ts 'cat join_audio_a.ts join_audio_b.ts > "$target"'
# Sound that starts 3 s after the pictures.
media late_audio.mp4 -f lavfi -i testsrc=size=160x120:rate=25:duration=5 -itsoffset 3 \
  -f lavfi -i "$(tone 440 2)" -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p \
  -c:a aac -ac 2
# Pictures that end 10 s before the sound.
media short_video.mp4 -f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "$(tone 440 12)" \
  -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2
# Pictures 40 ms apart for a second, then 480 ms apart: a variable frame rate.
media vfr.mkv -f lavfi -i testsrc=size=160x120:rate=25:duration=3 \
  -vf "select='lt(n\,25)+not(mod(n-25\,12))'" -fps_mode vfr -c:v libx264 -preset ultrafast \
  -pix_fmt yuv420p
# Five pictures, each different: a loop shows every one of them in every pass.
media five_pictures.mp4 -f lavfi -i testsrc=size=160x120:rate=25 -frames:v 5 -c:v libx264 \
  -preset ultrafast -pix_fmt yuv420p
