#!/usr/bin/env bash
# Checks the installed package as a third-party host sees it: installs BUILD_DIR to a
# temporary prefix, builds examples/minimal-host against it with pkg-config (plain
# compiler line and CMake) and with find_package(Quorvel), and runs each on a fixture.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/plain}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

media=$build/media
[ -f "$media/h264_aac.mp4" ] || tests/media/generate.sh "$PWD/$media"
clip=$PWD/$media/h264_aac.mp4

echo "== package: install to a temporary prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libquorvel.so' | head -n1)")
export PKG_CONFIG_PATH=$libdir/pkgconfig

echo "== package: pkg-config, compiler line"
# shellcheck disable=SC2046
c++ -std=c++17 -Wall -Wextra -Werror examples/minimal-host/main.cpp -o "$work/host-pc" \
  $(pkg-config --cflags --libs quorvel) -pthread
LD_LIBRARY_PATH=$libdir "$work/host-pc" "$clip" 1

echo "== package: pkg-config, CMake"
cmake -S examples/minimal-host -B "$work/cmake-pc" -DMINIMAL_HOST_USE_PKGCONFIG=ON >/dev/null
cmake --build "$work/cmake-pc" >/dev/null
"$work/cmake-pc/minimal-host" "$clip" 1

echo "== package: find_package(Quorvel)"
cmake -S examples/minimal-host -B "$work/cmake-pkg" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-pkg" >/dev/null
"$work/cmake-pkg/minimal-host" "$clip" 1

echo "== package: installed quorvel-play"
"$prefix/bin/quorvel-play" probe "$clip"
echo "== package: ok"
