#!/usr/bin/env bash
# CI stage: builds the fuzz targets and runs each for 60 seconds.
set -euo pipefail
exec "$(dirname "$0")/run" 60
