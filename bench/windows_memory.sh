#!/usr/bin/env bash
# The engine's memory in a 32-bit Windows host, where a process has 2 GB of address space:
# plays 6 instances of the 1080p60 memory clip at once in one process under 32-bit Wine,
# one decoder thread each, for 10 s, each with its own audio thread pulling 20 ms every
# 20 ms, and prints what the host saw: pictures and audio per instance, instances that
# failed to open, error texts, and the peak working set (with the peak private bytes and
# the most address space seen in use). The host is bench/instances_bench.cpp built with
# mingw-w64 against quorvel.dll, which is built here as the Windows stage builds it
# (build/bench-win32, Release; FFmpeg from the cache of scripts/windows/build_ffmpeg.sh,
# which builds it there the first time). Where the machine cannot run 32-bit code it says
# so and runs the 64-bit builds of the host and the DLL under 64-bit Wine instead.
# Real time is not asked of 6 instances on two cores.
#
#   bench/windows_memory.sh
#   INSTANCES=4 PLAY_SECONDS=20 CLIP=FILE bench/windows_memory.sh   # another run
#   ARCH=x86_64 bench/windows_memory.sh       # the 64-bit host and DLL under 64-bit Wine
#   BEFORE_DLL=FILE bench/windows_memory.sh   # also the same run with an earlier quorvel.dll
#                                             # of the same architecture (keys before_*)
#
# Output: "key value" lines, for bench/run; a line "skipped REASON" alone when mingw-w64
# or Wine is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
instances=${INSTANCES:-6}
seconds=${PLAY_SECONDS:-10}

# A 32-bit ELF that only exits with status 42, as scripts/windows/test.sh probes: the
# kernel runs it only with 32-bit emulation, which 32-bit Wine needs too.
runs_32bit_code() {
  local probe status=0
  probe=$(mktemp)
  local elf=7f454c460101010000000000000000000200030001000000548004083400000000000000
  elf+=000000003400200001000000000000000100000000000000008004080080040860000000
  elf+=600000000500000000100000b801000000bb2a000000cd80
  # shellcheck disable=SC2001  # each byte's two hex digits become \xHH
  printf '%b' "$(sed 's/../\\x&/g' <<<"$elf")" >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [[ $status -eq 42 ]]
}

if [[ ${ARCH:-i686} == x86_64 ]]; then
  arch=x86_64 bits=64 wine=/usr/lib/wine/wine64 winearch=win64
elif runs_32bit_code; then
  arch=i686 bits=32 wine=/usr/lib/wine/wine winearch=win32
else
  echo "note this machine cannot run 32-bit code, so 32-bit Wine cannot start: the 64-bit" \
    "host and DLL ran under 64-bit Wine instead"
  arch=x86_64 bits=64 wine=/usr/lib/wine/wine64 winearch=win64
fi
cxx=$arch-w64-mingw32-g++-posix
for tool in "$cxx" "$wine" ffprobe; do
  command -v "$tool" >/dev/null || {
    echo "skipped $tool is missing (scripts/windows/setup.sh installs it, wine32 for 32-bit Wine)"
    exit 0
  }
done

# The DLL, as the Windows stage builds it; an up-to-date build does nothing.
build=$root/build/bench-win$bits
prefixes=$("$root/scripts/windows/build_ffmpeg.sh" "$arch" | tail -n 1)
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
  "-DQUORVEL_WIN_PREFIXES=$prefixes" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TOOLS=OFF \
  -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target quorvel >&2

# The host, linked against the DLL's import library; static, so it needs no mingw DLLs.
source=$root/bench/instances_bench.cpp
exe=$build/bench-host/quorvel-bench-instances.exe
mkdir -p "$build/bench-host"
if [[ ! $exe -nt $source || ! $exe -nt $root/include/quorvel.h ]]; then
  "$cxx" -std=c++17 -O2 -Wall -Wextra -static -I"$root/include" "$source" \
    "$build/libquorvel.dll.a" -lpsapi -o "$exe"
fi

clip=${CLIP:-$("$root/bench/make_clips.sh" "$root/build/bench-clips" memory | grep 1080p60)}
fps=$(ffprobe -v error -select_streams v:0 -show_entries stream=avg_frame_rate -of csv=p=0 \
  "$clip")
fps=$(awk -F/ '{ printf "%g", $1 / ($2 ? $2 : 1) }' <<<"$fps")

unset DISPLAY WAYLAND_DISPLAY
export WINEARCH=$winearch WINEDEBUG=-all WINEPREFIX
WINEPREFIX=$(mktemp -d -t quorvel-bench-wine.XXXXXX)
stop_wine() {
  timeout 30 env WINELOADER="$wine" wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$build/bench-before"
}
trap stop_wine EXIT
timeout 180 "$wine" wineboot -i >/dev/null 2>&1
# One server for both runs: one that quits after its last client can drop the next
# program's connection as it starts.
timeout 30 env WINELOADER="$wine" wineserver -w || true
env WINELOADER="$wine" wineserver -p

# Runs the host beside the DLL given, which it loads as quorvel.dll from its own folder.
play() {  # DLL FOLDER
  local dll=$1 dir=$2
  mkdir -p "$dir"
  [[ $dir == "$(dirname "$exe")" ]] || cp "$exe" "$dir/"
  cp "$dll" "$dir/quorvel.dll"
  timeout $((seconds + 240)) "$wine" "$dir/$(basename "$exe")" "$clip" --fps "$fps" \
    --instances "$instances" --for "$seconds" --loop --decoder-threads 1 | tr -d '\r' ||
    echo "host_exit_status $?"
}

echo "wine $winearch"
echo "clip $(basename "$clip")"
play "$build/quorvel.dll" "$(dirname "$exe")"
if [[ -n ${BEFORE_DLL:-} ]]; then
  play "$BEFORE_DLL" "$build/bench-before" | sed 's/^/before_/'
fi
