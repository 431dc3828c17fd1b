# Sourced by the scripts in sets/. MEDIA_OUT is the output folder.
set -euo pipefail

# up_to_date NAME COMMAND: NAME exists and was made by COMMAND (kept in a stamp file).
up_to_date() {
  local target=$MEDIA_OUT/$1 stamp=$MEDIA_OUT/.$1.cmd
  [ -f "$target" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$2" ]
}

stamp() { printf '%s' "$2" > "$MEDIA_OUT/.$1.cmd"; }

# media NAME FFMPEG-ARGS...: runs `ffmpeg FFMPEG-ARGS... -bitexact OUT/NAME` unless NAME
# exists and was made by the same command. Inputs are lavfi test sources, so the result
# is deterministic.
media() {
  local name=$1; shift
  up_to_date "$name" "$*" && return 0
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -fflags +bitexact \
    -flags:v +bitexact -flags:a +bitexact "$MEDIA_OUT/$name"
  stamp "$name" "$*"
}

# derived NAME COMMAND...: a file made by a shell command from other media (truncation,
# concatenation); COMMAND writes to $target. Made again when the command changes.
derived() {
  local name=$1; shift
  up_to_date "$name" "$*" && return 0
  (cd "$MEDIA_OUT" && target=$MEDIA_OUT/$name eval "$*")
  stamp "$name" "$*"
}
