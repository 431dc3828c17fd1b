#!/usr/bin/env bash
# Builds quorvel.dll for 32-bit Windows with mingw-w64 and runs the unit suite and the
# DLL integration host under 32-bit Wine. Also probes every fixture through the DLL and
# through the Linux library and requires the same answers.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=$root/build/win32
linux_build=$root/build/plain
cross=i686-w64-mingw32
started=$(date +%s)
step() { echo "== windows: $* ($(( $(date +%s) - started )) s)"; }

step "set-up"
./scripts/setup.sh
./scripts/windows/setup_wine.sh
ffmpeg_prefix=$(./scripts/windows/build_ffmpeg.sh | tail -n 1)
gtest_prefix=$(./scripts/windows/build_googletest.sh | tail -n 1)

step "build"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" \
  "-DQUORVEL_WIN_PREFIXES=$ffmpeg_prefix;$gtest_prefix" -DCMAKE_BUILD_TYPE=Release \
  -DQUORVEL_WERROR=ON -DQUORVEL_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j2 --target quorvel quorvel_tests quorvel_dll_tests quorvel-probe

step "check quorvel.dll"
dll=$build/quorvel.dll
file -b "$dll" | grep -q '^PE32 executable (DLL).*Intel 80386' || {
  echo "not a 32-bit x86 DLL: $(file -b "$dll")" >&2; exit 1; }
exports=$($cross-objdump -p "$dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF==0 {exit} on {print $NF}' | sort)
[ "$exports" = "$(printf 'CreateInstance\nDestroyInstance')" ] || {
  echo "unexpected exports: $exports" >&2; exit 1; }
imports=$($cross-objdump -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort)
if echo "$imports" | grep -Eq 'libstdc|libgcc|libwinpthread|^av|^sw'; then
  echo "quorvel.dll needs non-system DLLs: $(echo $imports)" >&2; exit 1
fi
echo "exports: $(echo $exports); imports: $(echo $imports)"

step "fixtures and references"
media=$build/media
reference=$build/reference
tests/media/generate.sh "$media"
cp "$media/pcm_s16.wav" "$media/ünicöde_🎵.wav"
mkdir -p "$reference"
decode() { # FILE OUT ARGS...
  local in=$1 out=$2; shift 2
  ffmpeg -nostdin -v error -y -i "$media/$in" "$@" "$reference/$out"
}
decode h264_aac.mp4 h264_aac.yuv -an -fps_mode passthrough -pix_fmt yuv420p -f rawvideo
decode h264_aac.mp4 h264_aac.s16 -vn -map 0:a:0 -f s16le -acodec pcm_s16le
decode pcm_s16.wav pcm_s16.s16 -map 0:a:0 -f s16le -acodec pcm_s16le

step "wine"
export WINEARCH=win32 WINEDEBUG=-all
WINEPREFIX=$(mktemp -d /tmp/quorvel-wine.XXXXXX)
export WINEPREFIX
unset DISPLAY WAYLAND_DISPLAY
cleanup() { timeout 30 wineserver -k || true; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT
timeout 180 wineboot -i >/dev/null 2>&1

# These tests take their reference from the ffmpeg program run as a child process,
# which a Windows process cannot start here; the DLL host checks the same outputs.
linux_only='Playback.DeliveredPicturesAreTheDecodedOnesInOrder'
linux_only+=':DemuxerDecode.PicturesEqualFfmpegsOwnDecode'
linux_only+=':DemuxerDecode.OddWidthPacksChromaRowsRoundedDown'
linux_only+=':DemuxerDecode.S16PcmIsHandedOutUnchanged'
step "unit suite under wine"
timeout 600 wine "$build/tests/quorvel_tests.exe" --gtest_filter="-$linux_only" --gtest_brief=1
step "DLL integration host under wine"
timeout 300 wine "$build/tests/windows/quorvel_dll_tests.exe" --gtest_brief=1

step "probe: DLL against the Linux library"
if [ ! -f "$linux_build/libquorvel.so" ]; then
  cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_WERROR=ON >/dev/null
  cmake --build "$linux_build" -j2 --target quorvel
fi
g++ -std=c++17 -O1 -Wall -Wextra -Werror -Iinclude tests/windows/probe_main.cpp \
  tests/windows/quorvel_library.cpp -ldl -o "$build/quorvel-probe-linux"
fixtures=()
for f in "$media"/*; do
  case $f in */ü*) ;; *) fixtures+=("$f") ;; esac
done
"$build/quorvel-probe-linux" "$linux_build/libquorvel.so" "${fixtures[@]}" > "$build/probe-linux.txt"
timeout 300 wine "$build/tests/windows/quorvel-probe.exe" "$dll" "${fixtures[@]}" |
  tr -d '\r' > "$build/probe-windows.txt"
diff -u "$build/probe-linux.txt" "$build/probe-windows.txt"
echo "probe: $(wc -l < "$build/probe-windows.txt") fixtures agree"
step "done"
