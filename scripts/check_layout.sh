#!/usr/bin/env bash
# Fails when an engine include points upward. The layers of src/, lowest first:
#
#   0 platform   threads, locks, events, time, text conversion (platform/win32 too)
#   1 diag       reader/writer lock, instance registry, LogMessage
#   2 demux      Thread, Demuxer and everything FFmpeg; sees platform and diag
#   2 playback   queues, picture pool, pacing, CVideoModel; sees platform and diag
#   3 instance   CQuorvel and the exported functions; sees everything
#
# A file may include its own folder and lower ranks only, so demux and playback do not
# see each other. The public header (quorvel.h) may be included anywhere. FFmpeg headers
# are included in src/demux only.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

rank() {
  case $1 in
    platform) echo 0 ;;
    diag) echo 1 ;;
    demux | playback) echo 2 ;;
    instance) echo 3 ;;
    *) echo -1 ;;
  esac
}

status=0
while IFS= read -r -d '' file; do
  layer=${file#src/}
  layer=${layer%%/*}
  own=$(rank "$layer")
  if [ "$own" -lt 0 ]; then
    echo "$file: folder $layer has no layer" >&2
    status=1
    continue
  fi
  while IFS= read -r line; do
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$line")
    case $target in
      */*) ;;
      *) continue ;;  # the public header, or a header beside the file
    esac
    folder=${target%%/*}
    [ "$folder" = "$layer" ] && continue
    other=$(rank "$folder")
    if [ "$other" -lt 0 ] || [ "$other" -ge "$own" ]; then
      echo "$file: includes $target, which is not below $layer" >&2
      status=1
    fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
  if [ "$layer" != demux ] &&
    grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<lib(av|sw)[a-z]*/' "$file"; then
    echo "$file: includes an FFmpeg header outside src/demux" >&2
    status=1
  fi
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)

[ "$status" -eq 0 ] && echo "layout: every include points down"
exit "$status"
