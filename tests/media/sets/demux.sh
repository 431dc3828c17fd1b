#!/usr/bin/env bash
# Fixtures for the demuxer: one file per case it must handle.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"

video() { echo "testsrc2=size=$1:rate=$2:duration=$3"; }
tone() { echo "sine=frequency=$1:sample_rate=$2:duration=$3"; }

# H.264 with B-frames and AAC: the common case, and the source of truncated.mp4.
media h264_aac.mp4 -f lavfi -i "$(video 320x240 25 3)" -f lavfi -i "$(tone 440 44100 3)" \
  -c:v libx264 -bf 2 -g 25 -pix_fmt yuv420p -c:a aac -ac 2 -shortest
media mpeg4_mp3.avi -f lavfi -i "$(video 320x240 25 2)" -f lavfi -i "$(tone 440 44100 2)" \
  -c:v mpeg4 -c:a libmp3lame -ac 2
# 4:2:2 pictures need conversion to 4:2:0: one scaled straight into the packed layout, one
# whose width (not whole 64-pixel blocks) goes through the conversion frame.
media yuv422.mkv -f lavfi -i "$(video 320x240 25 1)" -c:v ffv1 -pix_fmt yuv422p
media yuv422_200x120.mkv -f lavfi -i "$(video 200x120 25 1)" -c:v ffv1 -pix_fmt yuv422p
# The test sources round odd sizes down, so the odd size comes from the scaler.
media odd_321x241.mkv -f lavfi -i "$(video 320x240 25 1),scale=321:241" -c:v ffv1 \
  -pix_fmt yuv420p
# A cover picture is an attached mjpeg stream beside the audio.
media cover_art.png -f lavfi -i "testsrc2=size=160x120:duration=0.04" -frames:v 1
media cover.mp3 -f lavfi -i "$(tone 440 44100 2)" -i "$MEDIA_OUT/cover_art.png" \
  -map 0:a -map 1:v -c:a libmp3lame -ac 2 -c:v mjpeg -disposition:v attached_pic \
  -id3v2_version 3
media audio_22050.mp3 -f lavfi -i "$(tone 440 22050 2)" -c:a libmp3lame -ac 2
media surround51.m4a -f lavfi -i "$(tone 440 48000 2)" -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" \
  -c:a aac
# Two audio streams of different rates and tones; the demuxer picks the last one.
media two_audio.mkv -f lavfi -i "$(video 160x120 25 1)" -f lavfi -i "$(tone 440 44100 1)" \
  -f lavfi -i "$(tone 880 48000 1)" -map 0:v -map 1:a -map 2:a -c:v mpeg4 \
  -c:a pcm_s16le -ac 2
media video_only.mp4 -f lavfi -i "$(video 320x240 25 2)" -c:v libx264 -pix_fmt yuv420p
media start_time.ts -f lavfi -i "$(video 320x240 25 2)" -f lavfi -i "$(tone 440 44100 2)" \
  -c:v libx264 -g 12 -pix_fmt yuv420p -c:a aac -ac 2 -output_ts_offset 10
# 10 s of MPEG-2 in a transport and in a program stream: both seek by bytes, and both
# start above zero (1.4 s and 0.5 s).
for container in ts mpg; do
  media mpeg2_10s.$container -f lavfi -i "$(video 320x240 25 10)" -f lavfi -i "$(tone 440 44100 10)" \
    -c:v mpeg2video -g 12 -b:v 400k -c:a mp2 -ac 2
done
# A program stream that stamps only some pictures (the small pictures of a still scene
# share packets): the others take their time from the one before.
media sparse_pts.mpg -f lavfi -i "color=c=gray:size=320x240:rate=30:duration=8" \
  -f lavfi -i "$(tone 440 48000 8)" -c:v mpeg2video -c:a mp2 -ac 2 -f mpeg
# A transport stream with one key picture, at its start: no byte seek lands near a target.
media one_key.ts -f lavfi -i "$(video 320x240 25 8)" -f lavfi -i "$(tone 440 48000 8)" \
  -c:v libx264 -x264-params keyint=250:scenecut=0 -pix_fmt yuv420p -c:a aac -ac 2
media ntsc.mp4 -f lavfi -i "$(video 160x120 30000/1001 1)" -c:v libx264 -pix_fmt yuv420p
media pcm_s16.wav -f lavfi -i "$(tone 440 44100 2)" -c:a pcm_s16le -ac 2
media h264_pcm.mkv -f lavfi -i "$(video 320x240 25 2)" -f lavfi -i "$(tone 440 48000 2)" \
  -c:v libx264 -pix_fmt yuv420p -c:a pcm_s16le -ac 2
media size_part1.ts -f lavfi -i "$(video 320x240 25 1)" -c:v libx264 -pix_fmt yuv420p
media size_part2.ts -f lavfi -i "$(video 160x120 25 1)" -c:v libx264 -pix_fmt yuv420p \
  -output_ts_offset 1
derived size_change.ts 'cat size_part1.ts size_part2.ts > "$target"'
derived truncated.mp4 'head -c $(( $(stat -c %s h264_aac.mp4) / 2 )) h264_aac.mp4 > "$target"'
derived not_media.mp4 'echo "This is a text file, not a movie." > "$target"'
media loop_1s.mp4 -f lavfi -i "$(video 160x120 25 1)" -f lavfi -i "$(tone 440 44100 1)" \
  -c:v libx264 -pix_fmt yuv420p -c:a aac -ac 2 -shortest
