#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Idempotent:
# it only calls apt-get when a package is missing.
set -euo pipefail
packages=(make cmake g++ clang clang-format libclang-rt-14-dev python3 git
  mingw-w64 wine wine32:i386 wine64 fonts-wine xvfb x11-utils imagemagick
  libgtest-dev googletest libbenchmark-dev zlib1g-dev libdeflate-dev
  zip unzip p7zip-full fastjar dpkg-dev openssl osslsigncode)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: $1; run as root to install them" >&2
    exit 1
  fi
}

# A Debian mirror that is mid-sync serves one index with the wrong size
# ("File has unexpected size ... Mirror sync in progress?"), most often the
# i386 security index; apt then fails until the mirror settles. Retry a few
# times, then go on with the lists that did arrive.
update_package_lists() {
  local attempt
  for attempt in 1 2 3; do
    apt-get update -qq && return 0
    [ "$attempt" -lt 3 ] && echo "install-deps: apt-get update failed (attempt $attempt of 3; a mirror may be mid-sync); retrying in 20 s" >&2 && sleep 20
  done
  echo "install-deps: some package lists could not be fetched (a Debian mirror mid-sync?); installing from those that were" >&2
}

if [ ${#missing[@]} -ne 0 ]; then
  need_root "missing packages: ${missing[*]}"
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  update_package_lists
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    # Only the i386 packages depend on the i386 lists; without them the
    # i686 Wine suites are skipped (and say so), and the 64-bit twin runs them.
    others=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || others+=("$p"); done
    [ ${#others[@]} -eq ${#missing[@]} ] && exit 1
    apt-get install -y -qq --no-install-recommends "${others[@]}"
    echo "install-deps: wine32:i386 could not be installed now (its i386 dependencies are missing from the mirror's lists; run again later). The i686 Wine suites will report SKIPPED and the 64-bit twin runs them." >&2
  fi
fi
# The code-page tests run Wine in Japanese (932) and Russian (1251) locales.
for locale_name in ja_JP ru_RU; do
  if ! locale -a 2>/dev/null | grep -qix "$locale_name.utf8"; then
    need_root "the locale $locale_name.UTF-8 is missing"
    localedef -i "$locale_name" -f UTF-8 "$locale_name.UTF-8"
  fi
done
