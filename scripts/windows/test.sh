#!/usr/bin/env bash
# Builds quorvel.dll for 32-bit Windows with mingw-w64 and runs the unit suite and the
# DLL integration host under 32-bit Wine. Also probes every fixture through the DLL and
# through the Linux library and requires the same answers.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=$root/build/win32
linux_build=${QUORVEL_LINUX_BUILD:-$root/build/plain}  # a built Linux tree, else made
cross=i686-w64-mingw32
started=$(date +%s)
step() { echo "== windows: $* ($(( $(date +%s) - started )) s)"; }
failed=()
# Runs one test step to the end even when an earlier one failed; the stage fails at the end.
check() { # NAME COMMAND...
  local name=$1; shift
  step "$name"
  "$@" || failed+=("$name")
}

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
kind=$(file -b "$dll")
case $kind in
  "PE32 executable (DLL)"*"Intel 80386"*) ;;
  *) echo "not a 32-bit x86 DLL: $kind" >&2; exit 1 ;;
esac
exports=$($cross-objdump -p "$dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} NF == 0 {on = 0} on {print $NF}' |
  sort)
[ "$exports" = "$(printf 'CreateInstance\nDestroyInstance')" ] || {
  echo "unexpected exports: $exports" >&2; exit 1; }
imports=$($cross-objdump -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort)
for name in $imports; do
  case $name in
    kernel32.dll|msvcrt.dll|bcrypt.dll|user32.dll|advapi32.dll) ;;
    *) echo "quorvel.dll needs a DLL that Windows does not ship: $name" >&2; exit 1 ;;
  esac
done
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
linux_only+=':DemuxerDecode.PicturesPackedIntoLentBuffersEqualFfmpegsOwnDecode'
linux_only+=':DemuxerDecode.S16PcmIsHandedOutUnchanged'
check "unit suite under wine" \
  timeout 600 wine "$build/tests/quorvel_tests.exe" --gtest_filter="-$linux_only" --gtest_brief=1
check "DLL integration host under wine" \
  timeout 300 wine "$build/tests/windows/quorvel_dll_tests.exe" --gtest_brief=1

# The same probe program, built for Linux, reads the same fixtures through libquorvel.so.
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
probe_both() {
  "$build/quorvel-probe-linux" "$linux_build/libquorvel.so" "${fixtures[@]}" \
    > "$build/probe-linux.txt" || return 1
  timeout 300 wine "$build/tests/windows/quorvel-probe.exe" "$dll" "${fixtures[@]}" \
    > "$build/probe-windows.raw" || return 1
  tr -d '\r' < "$build/probe-windows.raw" > "$build/probe-windows.txt"
  diff -u "$build/probe-linux.txt" "$build/probe-windows.txt" &&
    echo "probe: $(wc -l < "$build/probe-windows.txt") fixtures agree"
}
check "probe: DLL against the Linux library" probe_both

if [ ${#failed[@]} -gt 0 ]; then
  printf 'windows: failed: %s\n' "${failed[@]}" >&2
  exit 1
fi
step "done"
