#!/usr/bin/env bash
# Installs what the Windows stage needs: mingw-w64 for both architectures (the posix
# thread-model compilers, for FFmpeg and dav1d, and the headers and C++ runtime the DLL is
# built against), zlib for the DLL's FFmpeg, meson, ninja and pkg-config for dav1d,
# Debian's googletest sources, clang, lld and llvm (the DLL's compiler and linker, the PDB
# checks and the legacy host), and 64-bit Wine. With the argument wine32 it also
# installs 32-bit Wine, adding the i386 architecture first; that upgrades some amd64
# packages so that both architectures match, hence -y. Idempotent.
set -euo pipefail

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

packages=(
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  libz-mingw-w64-dev dpkg-dev googletest file nasm meson ninja-build pkg-config
  clang lld llvm
  wine wine64
)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if [ "${1:-}" = wine32 ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || {
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
  }
  packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows set-up: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
