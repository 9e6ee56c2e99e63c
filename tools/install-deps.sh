#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Idempotent:
# it only calls apt-get when a package is missing.
set -euo pipefail
packages=(make cmake g++ clang libclang-rt-14-dev python3 git
  mingw-w64 wine wine32:i386 wine64 xvfb x11-utils imagemagick
  libgtest-dev googletest libbenchmark-dev zlib1g-dev libdeflate-dev
  zip unzip p7zip-full fastjar dpkg-dev openssl osslsigncode)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The code page 932 tests run Wine in a Japanese locale.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: the locale ja_JP.UTF-8 is missing; run as root to make it" >&2
    exit 1
  fi
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
