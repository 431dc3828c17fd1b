#!/usr/bin/env bash
# Builds quorvel.dll for 32-bit Windows (the product) and for 64-bit Windows with clang in
# its mingw mode, checks what each exports and imports, makes and checks the SDK zip of
# each and its PDB, checks the 32-bit slots' calling convention in the disassembly, and
# runs the Windows test set under Wine: the whole unit suite (its references from the
# ffmpeg program recorded by a Linux run first), the DLL integration host, the legacy host
# built in MSVC's ABI, the import host linked against the zip's quorvel.lib, the C host,
# and a probe and play of every fixture (one per container and codec family, AV1 among
# them) through the DLL against the Linux library. The 64-bit set runs on every machine;
# the 32-bit set only where the machine can execute 32-bit x86 code (elsewhere the 32-bit
# DLL, zip, legacy and import hosts are still built and checked).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
# A built Linux tree, else made; absolute, as the media script needs.
linux_build=$(realpath -m "${QUORVEL_LINUX_BUILD:-$root/build/plain}")
started=$(date +%s)
step() { echo "== windows: $* ($(( $(date +%s) - started )) s)"; }
failed=()
# Runs one test step to the end even when an earlier one failed; the stage fails at the end.
check() { # NAME COMMAND...
  local name=$1; shift
  step "$name"
  "$@" || failed+=("$name")
}

# A 32-bit ELF that only exits with status 42: the kernel runs it only with 32-bit
# emulation, which 32-bit Wine needs too.
runs_32bit_code() {
  local probe
  probe=$(mktemp)
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' > "$probe"
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >> "$probe"
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >> "$probe"
  printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >> "$probe"
  printf '\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000' >> "$probe"
  printf '\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >> "$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

run_32bit=1
runs_32bit_code || run_32bit=0

step "set-up"
./scripts/setup.sh
if [ $run_32bit -eq 1 ]; then
  ./scripts/windows/setup.sh wine32
else
  ./scripts/windows/setup.sh
fi

# The fixtures and the references that the tests compare with, made by the ffmpeg program.
# The fixtures are the very files the recording run of the Linux suite read: a fixture made
# again can differ (an encoder flushed where -shortest happens to cut), and its pictures
# would then not be the recorded ones.
make_media() { # BUILD_DIR
  local media=$1/media reference=$1/reference
  rm -rf "$media"
  cp -a "$linux_build/media" "$media"
  cp "$media/pcm_s16.wav" "$media/ünicöde_🎵.wav"
  mkdir -p "$reference"
  decode() { # FILE OUT ARGS...
    local in=$1 out=$2; shift 2
    ffmpeg -nostdin -v error -y -i "$media/$in" "$@" "$reference/$out"
  }
  decode h264_aac.mp4 h264_aac.yuv -an -fps_mode passthrough -pix_fmt yuv420p -f rawvideo
  decode h264_aac.mp4 h264_aac.s16 -vn -map 0:a:0 -f s16le -acodec pcm_s16le
  decode pcm_s16.wav pcm_s16.s16 -map 0:a:0 -f s16le -acodec pcm_s16le
  tests/windows/format_fixtures.sh "$media"
  decode formats/av1_aac.mp4 av1_aac.yuv -an -fps_mode passthrough -pix_fmt yuv420p -f rawvideo
  decode formats/av1_10bit_flac.mkv av1_10bit_flac.yuv -an -fps_mode passthrough \
    -pix_fmt yuv420p -f rawvideo
}

# Builds the DLL (and, when it will run, the test programs) for one architecture and
# checks the DLL's kind, exports and imports.
build_arch() { # ARCH BUILD_DIR WITH_TESTS
  local arch=$1 build=$2 with_tests=$3
  local cross=$arch-w64-mingw32 prefixes targets=(quorvel)
  prefixes=$(./scripts/windows/build_ffmpeg.sh "$arch" | tail -n 1)
  if [ "$with_tests" -eq 1 ]; then
    prefixes+=";$(./scripts/windows/build_googletest.sh "$arch" | tail -n 1)"
    targets+=(quorvel_tests quorvel_dll_tests quorvel-probe quorvel_c_host)
  fi
  # A build folder configured against other FFmpeg builds keeps their library paths in its
  # cache whatever the prefixes now say, so it is configured afresh when they change.
  local fresh=() stamp=$build/quorvel-win-prefixes
  [ "$(cat "$stamp" 2>/dev/null)" = "$prefixes" ] || fresh=(--fresh)
  cmake "${fresh[@]}" -S . -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    "-DQUORVEL_WIN_PREFIXES=$prefixes" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_WERROR=ON \
    -DQUORVEL_BUILD_TOOLS=OFF -DQUORVEL_BUILD_TESTS="$with_tests" >/dev/null
  printf '%s\n' "$prefixes" > "$stamp"
  cmake --build "$build" -j2 --target "${targets[@]}"
  tests/windows/legacy_host/build.sh "$arch" "$build/legacy_host"

  local dll=$build/quorvel.dll kind want
  kind=$(file -b "$dll")
  case $arch in
    i686) want="PE32 executable (DLL)*Intel 80386*" ;;
    x86_64) want="PE32+ executable (DLL)*x86-64*" ;;
  esac
  # shellcheck disable=SC2053
  [[ $kind == $want ]] || { echo "quorvel.dll is not a $arch DLL: $kind" >&2; return 1; }
  local exports imports
  exports=$($cross-objdump -p "$dll" |
    awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} NF == 0 {on = 0} on {print $NF}' |
    sort)
  [ "$exports" = "$(printf 'CreateInstance\nDestroyInstance')" ] || {
    echo "unexpected exports: $exports" >&2; return 1; }
  imports=$($cross-objdump -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort)
  for name in $imports; do
    case $name in
      kernel32.dll|msvcrt.dll|bcrypt.dll|user32.dll|advapi32.dll) ;;
      *) echo "quorvel.dll needs a DLL that Windows does not ship: $name" >&2; return 1 ;;
    esac
  done
  echo "$arch: exports: $(echo $exports); imports: $(echo $imports)"
  package_and_check "$arch" "$build"
  if [ "$arch" = i686 ]; then
    scripts/windows/check_slots.py "$cross-objdump" "$dll" "$build/quorvel.pdb"
  fi
}

# Makes the SDK zip, unpacks it, checks what it holds, and builds the import host in
# MSVC's ABI against the unpacked include/ and lib/quorvel.lib.
package_and_check() { # ARCH BUILD_DIR
  local arch=$1 build=$2 zip sdk imp
  zip=$(scripts/windows/package.sh "$arch" "$build" "$root/build/packages" | tail -n 1)
  rm -rf "$build/sdk-unpacked"
  mkdir -p "$build/sdk-unpacked"
  (cd "$build/sdk-unpacked" && cmake -E tar xf "$zip")
  sdk=$(echo "$build"/sdk-unpacked/quorvel-*)
  local want=(LICENSE THIRD-PARTY-NOTICES.txt bin/quorvel.dll bin/quorvel.pdb
    include/quorvel.h lib/quorvel.lib lib/quorvel.def lib/libquorvel.dll.a
    lib/cmake/Quorvel/QuorvelConfig.cmake lib/cmake/Quorvel/QuorvelConfigVersion.cmake)
  [ "$(cd "$sdk" && find . -type f | sed 's|^\./||' | sort)" = "$(printf '%s\n' "${want[@]}" | sort)" ] ||
    { echo "$(basename "$zip") holds other files than expected" >&2; return 1; }
  local version
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
  strings -el "$sdk/bin/quorvel.dll" | grep -qx "$version" ||
    { echo "quorvel.dll has no version resource of $version" >&2; return 1; }
  imp=__imp_CreateInstance
  [ "$arch" = i686 ] && imp=__imp__CreateInstance
  llvm-nm "$sdk/lib/quorvel.lib" | grep -q " $imp\$" ||
    { echo "quorvel.lib has no $imp" >&2; return 1; }
  grep -q "^configure .*--x86asmexe=nasm.*--enable-libdav1d" "$sdk/THIRD-PARTY-NOTICES.txt" ||
    { echo "the notices lack FFmpeg's configure line" >&2; return 1; }
  grep -q "^meson .*-Denable_asm=true" "$sdk/THIRD-PARTY-NOTICES.txt" &&
    grep -q "^dav1d: BSD 2-Clause licence" "$sdk/THIRD-PARTY-NOTICES.txt" ||
    { echo "the notices lack dav1d's options or licence" >&2; return 1; }
  scripts/windows/check_pdb.py "$sdk/bin/quorvel.dll" "$sdk/bin/quorvel.pdb" \
    CreateInstance DestroyInstance
  tests/windows/import_host/build.sh "$arch" "$sdk" "$build/import_host"
  cp "$sdk/bin/quorvel.dll" "$build/import_host/"
  echo "$arch: $(basename "$zip"): $(du -k "$zip" | cut -f1) KiB, import host linked"
}

# The same probe program, built for Linux, reads the fixtures through libquorvel.so; the
# Linux unit suite records the ffmpeg program's outputs for the Windows one.
build_linux_probe() {
  [ -f "$linux_build/CMakeCache.txt" ] ||
    cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_WERROR=ON >/dev/null
  cmake --build "$linux_build" -j2 --target quorvel quorvel_tests
  g++ -std=c++17 -O1 -Wall -Wextra -Werror -Iinclude tests/windows/probe_main.cpp \
    tests/windows/quorvel_library.cpp -ldl -o "$linux_build/quorvel-probe-linux"
}

# The unit tests that compare with the ffmpeg program take its output through
# test::FfmpegOutput (tests/support/ffmpeg_output.h). A Windows process cannot start the
# program, so the Linux suite runs once here with QUORVEL_FFMPEG_OUTPUT_DIR set: every
# output it takes is kept there under the fixture's name and a hash of the arguments, and
# the Wine runs read them from there. Its verdicts are the Linux stage's; here it only
# has to have asked for every output. It mostly waits on real-time playback, so it runs
# beside the Windows builds.
ffmpeg_outputs=$root/build/ffmpeg-outputs
recording=
start_recording() {
  tests/media/generate.sh "$linux_build/media"
  rm -rf "$ffmpeg_outputs"
  mkdir -p "$ffmpeg_outputs"
  QUORVEL_FFMPEG_OUTPUT_DIR=$ffmpeg_outputs timeout 1200 "$linux_build/tests/quorvel_tests" \
    --gtest_brief=1 > "$ffmpeg_outputs.log" 2>&1 &
  recording=$!
}
finish_recording() {
  wait "$recording" ||
    echo "windows: the recording run of the Linux suite failed (log: $ffmpeg_outputs.log)"
  recording=
  echo "windows: $(find "$ffmpeg_outputs" -type f | wc -l) outputs of the ffmpeg program recorded"
}
trap '[ -z "$recording" ] || kill "$recording" 2>/dev/null || true' EXIT

probe_both() { # BUILD_DIR WINE
  local build=$1 wine=$2 fixtures=()
  for f in "$build"/media/*; do
    case $f in */ü*) ;; *) [ -f "$f" ] && fixtures+=("$f") ;; esac
  done
  "$linux_build/quorvel-probe-linux" "$linux_build/libquorvel.so" "${fixtures[@]}" \
    > "$build/probe-linux.txt" || return 1
  timeout 300 "$wine" "$build/tests/windows/quorvel-probe.exe" "$build/quorvel.dll" \
    "${fixtures[@]}" > "$build/probe-windows.raw" || return 1
  # The format families are also played: whether pictures came and how much PCM.
  "$linux_build/quorvel-probe-linux" --play "$linux_build/libquorvel.so" \
    "$build"/media/formats/* >> "$build/probe-linux.txt" || return 1
  timeout 600 "$wine" "$build/tests/windows/quorvel-probe.exe" --play "$build/quorvel.dll" \
    "$build"/media/formats/* >> "$build/probe-windows.raw" || return 1
  tr -d '\r' < "$build/probe-windows.raw" > "$build/probe-windows.txt"
  # The PCM of a play may end a 20 ms chunk sooner or later from one run to the next, so
  # its length is compared within 60 ms; everything else must be the same.
  diff -u <(sed 's/ pcm_ms=[0-9]*//' "$build/probe-linux.txt") \
    <(sed 's/ pcm_ms=[0-9]*//' "$build/probe-windows.txt") || return 1
  awk 'match($0, /pcm_ms=[0-9]+/) {
         ms = substr($0, RSTART + 7, RLENGTH - 7) + 0
         if (NR == FNR) { linux[FNR] = ms; next }
         if (ms < linux[FNR] - 60 || ms > linux[FNR] + 60) {
           print "PCM length differs: " $0 " (Linux: " linux[FNR] " ms)"; bad = 1 }
       }
       END { exit bad }' "$build/probe-linux.txt" "$build/probe-windows.txt" || return 1
  echo "probe: $(wc -l < "$build/probe-windows.txt") fixtures agree"
}

# On 32-bit x86 FFmpeg decodes MPEG-2 and MPEG-4 part 2 with another IDCT
# (simple_idct_mmx/sse2) than on x86-64 (simple_idct8, bit for bit the C one), so their
# pictures differ in the low bits from the references, which the x86-64 ffmpeg program
# made. These tests compare such pictures byte for byte and are left out of the 32-bit
# set; the DLL host compares pictures there within a tolerance.
exact_idct_tests=(
  'DemuxerDecode.PicturesEqualFfmpegsOwnDecode'  # mpeg4_mp3.avi
  'ByteSeek.ThePictureShownAfterSetPosIsNearTheTarget'  # MPEG-2 in TS and PS
  'Host.NonSquarePixelsAreScaledAsFfmpegScalesThem'  # MPEG-2 in PS
)

# Runs the Windows test set of one build under Wine, in a throwaway prefix.
run_under_wine() { # ARCH BUILD_DIR
  local arch=$1 build=$2 wine filter=()
  if [ "$arch" = i686 ]; then
    filter=("--gtest_filter=-$(IFS=:; echo "${exact_idct_tests[*]}")")
  fi
  case $arch in
    i686) wine=/usr/lib/wine/wine; export WINEARCH=win32 ;;
    x86_64) wine=/usr/lib/wine/wine64; export WINEARCH=win64 ;;
  esac
  export WINEDEBUG=-all WINEPREFIX
  WINEPREFIX=$(mktemp -d -t quorvel-wine.XXXXXX)
  step "$arch: wine prefix"
  timeout 180 "$wine" wineboot -i >/dev/null 2>&1
  # One server for the whole set: a server that quits after its last client can drop the
  # next program's connection as it starts ("recvmsg: Connection reset by peer").
  timeout 30 env WINELOADER="$wine" wineserver -w || true
  env WINELOADER="$wine" wineserver -p
  local clip=$build/media/seek_10s.mp4 missing=$build/media/missing.mp4
  check "$arch: unit suite under wine" env QUORVEL_FFMPEG_OUTPUT_DIR="$ffmpeg_outputs" \
    timeout 900 "$wine" "$build/tests/quorvel_tests.exe" --gtest_brief=1 "${filter[@]}"
  check "$arch: DLL integration host under wine" \
    timeout 300 "$wine" "$build/tests/windows/quorvel_dll_tests.exe" --gtest_brief=1
  check "$arch: legacy MSVC-ABI host under wine" timeout 120 "$wine" \
    "$build/legacy_host/legacy_host.exe" "$build/quorvel.dll" "$clip" "$missing"
  check "$arch: import host (quorvel.lib from the zip) under wine" \
    timeout 120 "$wine" "$build/import_host/import_host.exe" "$clip"
  if [ "$arch" = i686 ]; then
    check "$arch: import host, __fastcall C view, under wine" \
      timeout 120 "$wine" "$build/import_host/import_host_fastcall.exe" "$clip"
  fi
  check "$arch: C host under wine" env WINEPATH="$(dirname "$build/quorvel.dll")" \
    timeout 120 "$wine" "$build/tests/hosts/quorvel_c_host.exe" "$clip" "$missing"
  check "$arch: probe, DLL against the Linux library" probe_both "$build" "$wine"
  timeout 30 env WINELOADER="$wine" wineserver -k || true
  rm -rf "$WINEPREFIX"
}

unset DISPLAY WAYLAND_DISPLAY

step "the header in MSVC mode, as C++ and as C"
msvc_check=$(mktemp -d)
printf '#include "quorvel.h"\n' > "$msvc_check/host.c"
for target in i686-pc-windows-msvc x86_64-pc-windows-msvc; do
  clang --driver-mode=cl --target=$target /nologo /W4 /WX /Iinclude /c /TP /std:c++17 \
    "/Fo$msvc_check/host.obj" -- "$msvc_check/host.c"
  clang --driver-mode=cl --target=$target /nologo /W4 /WX /Iinclude /c /TC \
    "/Fo$msvc_check/host.obj" -- "$msvc_check/host.c"
done
# The C view's form for 32-bit cl, which takes __thiscall on C++ member functions only.
clang --driver-mode=cl --target=i686-pc-windows-msvc /nologo /W4 /WX /Iinclude /c /TC \
  /DQUORVEL_C_FASTCALL "/Fo$msvc_check/host.obj" -- "$msvc_check/host.c"
rm -rf "$msvc_check"

step "Linux probe and unit suite"
build_linux_probe
step "the ffmpeg program's outputs, recorded by the Linux suite in the background"
start_recording
step "x86_64: build"
build_arch x86_64 "$root/build/win64" 1
step "i686: build"
build_arch i686 "$root/build/win32" $run_32bit
finish_recording

step "x86_64: fixtures and references"
make_media "$root/build/win64"
run_under_wine x86_64 "$root/build/win64"
if [ $run_32bit -eq 1 ]; then
  step "i686: fixtures and references"
  make_media "$root/build/win32"
  run_under_wine i686 "$root/build/win32"
else
  echo "windows: 32-bit run skipped: this machine cannot execute 32-bit x86 code, so" \
    "32-bit Wine cannot start; the 32-bit DLL, its zip, the legacy and import hosts" \
    "were built and checked, and its slots checked in the disassembly"
fi

if [ ${#failed[@]} -gt 0 ]; then
  printf 'windows: failed: %s\n' "${failed[@]}" >&2
  exit 1
fi
step "done"
