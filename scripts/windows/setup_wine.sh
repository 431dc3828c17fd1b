#!/usr/bin/env bash
# Installs 32-bit Wine from Debian (the i386 architecture is added first). The install
# upgrades some amd64 packages so that both architectures match, hence -y. Idempotent.
set -euo pipefail

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if installed wine && installed wine32:i386; then
  exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq wine wine32:i386 >/dev/null
