#!/usr/bin/env bash
# Fixtures of the host-level tests: the same 10 s clip in every container a seek must
# work in, and a picture that grows mid-stream.
set -euo pipefail
# shellcheck source=../lib.sh
. "$(dirname "$0")/../lib.sh"

clip() {
  local seconds=${1:-10}
  echo "-f lavfi -i testsrc=size=160x120:rate=25:duration=$seconds -f lavfi -i sine=frequency=440:sample_rate=44100:duration=$seconds"
}

# shellcheck disable=SC2046
media seek_10s.mkv $(clip) -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a aac -ac 2
# shellcheck disable=SC2046
media seek_10s.avi $(clip) -c:v mpeg4 -g 25 -c:a libmp3lame -ac 2
# A start time of 10 s: positions count from the start of the media, not from zero.
# shellcheck disable=SC2046
media seek_10s.ts $(clip) -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a aac -ac 2 \
  -output_ts_offset 10
# shellcheck disable=SC2046
media seek_10s.mpg $(clip) -c:v mpeg2video -g 25 -c:a mp2 -ac 2 -f mpeg
media grow_part1.ts -f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v libx264 \
  -pix_fmt yuv420p
media grow_part2.ts -f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -c:v libx264 \
  -pix_fmt yuv420p -output_ts_offset 1
derived size_grow.ts 'cat grow_part1.ts grow_part2.ts > "$target"'
# Pictures a host must get turned or scaled: a display matrix of a quarter turn either way
# (the second as phones write it, -90), one that mirrors (its first entry made -1), and PAL
# 16:9 with pixels of 64:45.
media turn_source.mp4 -f lavfi -i testsrc2=size=320x176:rate=25:duration=1 -c:v libx264 \
  -pix_fmt yuv420p
for degrees in 90 270; do
  derived "turn_$degrees.mp4" "ffmpeg -nostdin -loglevel error -y -i turn_source.mp4 -c copy \
    -metadata:s:v:0 rotate=$degrees -fflags +bitexact \"\$target\""
done
derived mirror.mp4 \
  'perl -0777 -pe "s/(tkhd.{40})\x00\x01\x00\x00/\$1\xff\xff\x00\x00/s" turn_source.mp4 > "$target"'
media pal_wide.mpg -f lavfi -i testsrc2=size=720x576:rate=25:duration=1 -c:v mpeg2video \
  -aspect 16:9

# Seeks and loops that meet playback under way:
# - 6 s of transport stream starting near 4 s, looped and sought past its end;
# shellcheck disable=SC2046
media loop_6s.ts $(clip 6) -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a aac -ac 2 \
  -output_ts_offset 3
# - a looped sound longer than the audio clock's 10 s jump, whose length is not whole
#   20 ms chunks, so that a chunk meets the end (noise, so that no chunk looks like another);
media loop_12s.wav -f lavfi -i anoisesrc=sample_rate=44100:duration=12.01:amplitude=0.3:seed=7 \
  -c:a pcm_s16le -ac 2
media loop_15s.mp3 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=15 -c:a libmp3lame \
  -ac 2
# - audio that ends 3 s before the pictures;
media short_audio.mp4 -f lavfi -i testsrc=size=160x120:rate=25:duration=4 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -c:v libx264 -preset ultrafast \
  -g 25 -pix_fmt yuv420p -c:a aac -ac 2
# - a start time of 30 s in a container that seeks by time.
# shellcheck disable=SC2046
media start_30s.mkv $(clip 20) -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a aac \
  -ac 2 -output_ts_offset 30
# - 2 s of pictures beside 60 s of audio: the decoder must not read the audio whole.
media long_audio.mp4 -f lavfi -i testsrc=size=160x120:rate=25:duration=2 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=60 -c:v libx264 -preset ultrafast \
  -pix_fmt yuv420p -c:a aac -ac 2
# Streams whose decoder is missing: the AAC track's codec id overwritten with one that no
# decoder has (Matroska names it in text), alone and beside pictures.
media aac_2s.mka -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -c:a aac -ac 2
derived undecodable_audio.mka 'perl -0777 -pe "s/A_AAC/A_XYZ/g" aac_2s.mka > "$target"'
media h264_aac_2s.mkv -f lavfi -i testsrc=size=160x120:rate=25:duration=2 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -c:v libx264 -preset ultrafast \
  -pix_fmt yuv420p -c:a aac -ac 2
derived undecodable_audio_with_video.mkv \
  'perl -0777 -pe "s/A_AAC/A_XYZ/g" h264_aac_2s.mkv > "$target"'
