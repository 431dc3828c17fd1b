#!/usr/bin/env bash
# Formats the C and C++ sources with clang-format and the repository's .clang-format.
#   scripts/format.sh --check   lists the files that differ from the style and fails if any
#   scripts/format.sh --fix     rewrites them in place
# Files may follow the mode to limit it to them; by default every tracked source.
# Needs clang-format 14 (Debian package clang-format): other versions format differently.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
case $mode in
  --check|--fix) shift ;;
  *) echo "usage: scripts/format.sh --check|--fix [FILE...]" >&2; exit 2 ;;
esac
tool=$(command -v clang-format-14 || command -v clang-format || true)
[ -n "$tool" ] || { echo "format.sh: clang-format is missing (apt-get install clang-format)" >&2; exit 2; }

files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
fi
[ ${#files[@]} -gt 0 ] || exit 0

if [ "$mode" = --fix ]; then
  "$tool" -i --style=file "${files[@]}"
  exit 0
fi
differing=()
for f in "${files[@]}"; do
  "$tool" --dry-run --Werror --style=file "$f" 2>/dev/null || differing+=("$f")
done
if [ ${#differing[@]} -gt 0 ]; then
  printf '%s\n' "${differing[@]}"
  echo "format.sh: ${#differing[@]} of ${#files[@]} files differ from .clang-format" >&2
  exit 1
fi
