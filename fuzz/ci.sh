#!/usr/bin/env bash
# CI stage: builds the fuzz targets and runs each for 60 seconds. libFuzzer's runtime is
# only a recommendation of Debian's clang, which the setup installs without.
set -euo pipefail
runtime=libclang-rt-14-dev
if ! dpkg-query -W -f='${Status}' "$runtime" 2>/dev/null | grep -q 'install ok installed'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$runtime" >/dev/null
fi
exec "$(dirname "$0")/run" 60
