# Sourced by the scripts in sets/. MEDIA_OUT is the output folder.
set -euo pipefail

# media NAME FFMPEG-ARGS...: runs `ffmpeg FFMPEG-ARGS... -bitexact OUT/NAME` unless NAME
# exists and was made by the same command. Inputs are lavfi test sources, so the result
# is deterministic.
media() {
  local name=$1; shift
  local target=$MEDIA_OUT/$name stamp=$MEDIA_OUT/.$name.cmd
  local cmd="$*"
  if [ -f "$target" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$cmd" ]; then
    return 0
  fi
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -fflags +bitexact \
    -flags:v +bitexact -flags:a +bitexact "$target"
  printf '%s' "$cmd" > "$stamp"
}

# derived NAME COMMAND...: a file made by a shell command from other media (truncation,
# concatenation); COMMAND writes to $target. Made again when the command changes.
derived() {
  local name=$1; shift
  local target=$MEDIA_OUT/$name stamp=$MEDIA_OUT/.$name.cmd
  local cmd="$*"
  if [ -f "$target" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$cmd" ]; then
    return 0
  fi
  (cd "$MEDIA_OUT" && target=$target eval "$cmd")
  printf '%s' "$cmd" > "$stamp"
}
