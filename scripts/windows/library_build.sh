# Sourced by the scripts that build a Windows library from Debian's own source package
# (build_dav1d.sh, build_ffmpeg.sh) with the script's arguments: the architecture (i686,
# the default, or x86_64) and what follows from it, the cache folder, the deb-src entry,
# the package's version, and the unpacked source with Debian's patches.

arch=${1:-i686}
case $arch in
  i686) x86_family=x86 ;;
  x86_64) x86_family=x86_64 ;;
  *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;;
esac
cache_root=${QUORVEL_WIN_CACHE:-/var/cache/quorvel-windows}
cross=$arch-w64-mingw32
cc=$cross-gcc-posix

# Adds a deb-src entry mirroring the machine's Debian entry (same URIs, suites, key).
ensure_deb_src() {
  local src=/etc/apt/sources.list.d/quorvel-deb-src.sources
  [ -f "$src" ] && return 0
  awk 'BEGIN{RS=""; ORS="\n\n"} /URIs: [^\n]*debian\/?(\n|$)/ && !/security/ {
         sub(/Types: deb/, "Types: deb-src"); print; exit }' \
    /etc/apt/sources.list.d/debian.sources > "$src"
  apt-get update -qq
}

# A cache folder's key: a hash of everything that shapes what is built there.
cache_key() { # PART...
  printf '%s\n' "$@" | sha256sum | cut -c1-16
}

source_version() { # PACKAGE
  apt-cache showsrc "$1" | awk '/^Version:/ && !v {v = $2} END {print v}'
}

# Unpacks PACKAGE's source into DIR/src.
fetch_source() { # PACKAGE DIR
  local package=$1 dir=$2
  mkdir -p "$dir"
  (cd "$dir" && apt-get source -qq --download-only "$package" >/dev/null &&
   dpkg-source -x --no-check "${package}"_*.dsc src >/dev/null)
}
