#!/usr/bin/env bash
# CI stage: builds the fuzz targets and runs each for 60 seconds, then the randomised host
# of the suite (built by scripts/test.sh) over fresh seeds, each printed so that a failure
# can be repeated. libFuzzer's runtime is only a recommendation of Debian's clang, which the
# setup installs without.
set -euo pipefail
runtime=libclang-rt-14-dev
if ! dpkg-query -W -f='${Status}' "$runtime" 2>/dev/null | grep -q 'install ok installed'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$runtime" >/dev/null
fi
here=$(cd "$(dirname "$0")" && pwd)
"$here/run" 60
tests=$here/../build/plain/tests/quorvel_tests
if [ -x "$tests" ]; then
  echo "== random host: 4 fresh seeds x 3 instances x 150 operations"
  RANDOM_HOST_SEED=0 RANDOM_HOST_SEEDS=4 RANDOM_HOST_OPS=150 \
    "$tests" --gtest_filter='RandomHost.*' --gtest_brief=1
else
  echo "== random host: skipped, no plain build at $tests (scripts/test.sh plain makes one)"
fi
