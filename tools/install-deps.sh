#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Idempotent:
# it only calls apt-get when a package is missing.
set -euo pipefail
packages=(make cmake g++ clang libclang-rt-14-dev python3 git
  mingw-w64 wine wine32:i386 xvfb x11-utils imagemagick
  libgtest-dev googletest libbenchmark-dev zlib1g-dev libdeflate-dev
  zip unzip p7zip-full fastjar dpkg-dev openssl osslsigncode)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
