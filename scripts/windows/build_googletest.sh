#!/usr/bin/env bash
# Builds GoogleTest and GoogleMock for Windows from the sources in Debian's googletest
# package with the project's toolchain file, into a cache folder outside the clone keyed by
# the package version, the toolchain files and the versions of clang and of the GCC whose
# C++ runtime it uses. ARCH is i686 (the default) or x86_64. Prints the install prefix on
# its last line.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
arch=${1:-i686}
case $arch in
  i686|x86_64) ;;
  *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;;
esac
cache_root=${QUORVEL_WIN_CACHE:-/var/cache/quorvel-windows}
cxx=$arch-w64-mingw32-g++-posix

command -v $cxx >/dev/null && command -v clang++ >/dev/null && command -v ld.lld >/dev/null || {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    gcc-mingw-w64-${arch//_/-}-posix g++-mingw-w64-${arch//_/-}-posix clang lld >/dev/null
}
dpkg-query -W -f='${Status}' googletest 2>/dev/null | grep -q 'install ok installed' || {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends googletest >/dev/null
}

version=$(dpkg-query -W -f='${Version}' googletest)
toolchain=$here/../../cmake/toolchain-mingw-$arch.cmake
key=$(printf '%s\n%s\n%s\n%s\n' "$version" "$($cxx --version | head -1)" \
        "$(clang++ --version | head -1)" \
        "$(cat "$toolchain" "$here/../../cmake/toolchain-mingw-common.cmake")" |
      sha256sum | cut -c1-16)
prefix=$cache_root/googletest-$key
if [ ! -f "$prefix/.complete" ]; then
  work=$(mktemp -d)
  if ! { cmake -S /usr/src/googletest -B "$work" -DCMAKE_BUILD_TYPE=Release \
           -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
           -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=ON &&
         cmake --build "$work" -j2 && cmake --install "$work"; } > "$work.log" 2>&1; then
    tail -n 40 "$work.log" >&2
    exit 1
  fi
  rm -rf "$work" "$work.log"
  touch "$prefix/.complete"
fi
echo "$prefix"
