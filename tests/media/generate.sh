#!/usr/bin/env bash
# Writes the generated test media into the folder given (the build tree's media/). Each
# script in sets/ writes one group of files; a file is made again only when the command
# that makes it changed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export MEDIA_OUT=$1
mkdir -p "$MEDIA_OUT"
for set in "$here"/sets/*.sh; do
  bash "$set"
done
