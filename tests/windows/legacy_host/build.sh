#!/usr/bin/env bash
# Builds the legacy host in MSVC's ABI with clang-cl and lld-link, without a C runtime:
# the kernel32 import library comes from llvm-dlltool and kernel32.def.
# Usage: build.sh i686|x86_64 OUT_DIR; writes OUT_DIR/legacy_host.exe.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
arch=$1
out=$2
case $arch in
  i686) target=i686-pc-windows-msvc machine=i386 ;;
  x86_64) target=x86_64-pc-windows-msvc machine=i386:x86-64 ;;
  *) echo "usage: $0 i686|x86_64 OUT_DIR" >&2; exit 2 ;;
esac
mkdir -p "$out"
if [ "$arch" = i686 ]; then
  cp "$here/kernel32.def" "$out/kernel32.def"
else
  sed -E 's/@[0-9]+$//' "$here/kernel32.def" > "$out/kernel32.def"
fi
llvm-dlltool -m "$machine" -k -d "$out/kernel32.def" -l "$out/kernel32.lib"
clang --driver-mode=cl --target="$target" /nologo /O1 /GS- /GR- /Zl /W4 /WX \
  -fno-builtin /c "/Fo$out/legacy_host.obj" -- "$here/legacy_host.cpp"
lld-link /nologo /subsystem:console /entry:HostEntry /nodefaultlib \
  "/out:$out/legacy_host.exe" "$out/legacy_host.obj" "$out/kernel32.lib"
