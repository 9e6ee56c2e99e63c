#!/usr/bin/env bash
# Checks what users install, without installing anything on this machine: the
# Debian package (its file list, control fields, documents and file times, that
# a second build gave the same bytes, and its contents unpacked into a scratch
# folder, where mksfx must run and carry its stub) and the tree that
# `make install PREFIX=...` wrote.
# Usage: SOURCE_DATE_EPOCH=SECONDS CheckPackage.sh PACKAGE.deb SECOND_BUILD.deb INSTALL_PREFIX
set -euo pipefail
deb=$1
again=$2
prefix=$3
: "${SOURCE_DATE_EPOCH:?is the time make deb gave the package}"
source=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zelvix-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "CheckPackage: $*" >&2; exit 1; }

expected="bin/mksfx
share/bash-completion/completions/mksfx
share/doc/zelvix-sfx/changelog.gz
share/doc/zelvix-sfx/copyright
share/man/man1/mksfx.1.gz
share/zelvix-sfx/sfx.exe"
[ "$(cd "$prefix" && find . -type f -printf '%P\n' | sort)" = "$expected" ] ||
  fail "the install prefix $prefix holds $(cd "$prefix" && find . -type f -printf '%P ')"
[ "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' | sort)" = "$expected" ] ||
  fail "$deb holds $(dpkg-deb -c "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = zelvix-sfx ] || fail "package name $(dpkg-deb -f "$deb" Package)"
case "$(dpkg-deb -f "$deb" Depends)" in
  *libc6*libdeflate0*) ;;
  *) fail "dependencies not computed: '$(dpkg-deb -f "$deb" Depends)'" ;;
esac
dpkg-deb -f "$deb" Maintainer | grep -Eqx '[^<>]+ <[^<>@ ]+@[^<>@ ]+\.[a-z]+>' ||
  fail "the maintainer field has no address: $(dpkg-deb -f "$deb" Maintainer)"
long=$(dpkg-deb -f "$deb" | awk '/^[^ ]/ { description = /^Description:/ } description && length > 80')
[ -z "$long" ] || fail "description lines over 80 columns: $long"

# Reproducible: every file dated at the last commit, owned by root, and a
# second build byte for byte the same.
cmp "$deb" "$again" || fail "two builds of the package differ"
stamp=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T')
odd=$(dpkg-deb --fsys-tarfile "$deb" | TZ=UTC tar -tv --full-time | awk -v t="$stamp" '$2 != "root/root" || $4 " " $5 != t')
[ -z "$odd" ] || fail "entries not owned by root or not dated $stamp: $odd"
version=$(dpkg-deb -f "$deb" Version)

dpkg-deb -x "$deb" "$scratch/root"
doc=$scratch/root/usr/share/doc/zelvix-sfx
cmp "$doc/copyright" "$source/LICENSE" || fail "the copyright file is not the licence"
# gzip -n: no time in the header (bytes 4-7), or rebuilding it would change the package.
for packed in "$scratch/root/usr/share/man/man1/mksfx.1.gz" "$doc/changelog.gz"; do
  gzip -t "$packed" && [ "$(od -An -tu4 -j4 -N4 "$packed" | tr -d ' ')" = 0 ] ||
    fail "$packed is not gzipped without a time"
done
zcat "$doc/changelog.gz" >"$scratch/changelog"
[ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$version" ] ||
  fail "the changelog's newest entry is not version $version"
for root in "$scratch/root/usr" "$prefix"; do
  mksfx=$root/bin/mksfx
  "$mksfx" --version | grep -qx "mksfx (Zelvix SFX) $version" || fail "$mksfx --version: $("$mksfx" --version)"
  # create with the stub built in, which must be the one installed beside it.
  rm -rf "$scratch/in" "$scratch/out.exe"
  mkdir -p "$scratch/in/docs"
  printf 'packed by the installed mksfx\n' >"$scratch/in/readme.txt"
  seq 1 5000 >"$scratch/in/docs/numbers.txt"
  "$mksfx" create -q -o "$scratch/out.exe" -C "$scratch/in" . || fail "$mksfx create failed"
  cmp -n 35328 "$scratch/out.exe" "$root/share/zelvix-sfx/sfx.exe" ||
    fail "$mksfx does not carry the stub installed beside it"
  "$mksfx" test -q "$scratch/out.exe" || fail "$mksfx test failed"
  unzip -tqq "$scratch/out.exe" 2>/dev/null || fail "unzip -t rejects what $mksfx made"
done
echo "CheckPackage: $deb ($(dpkg-deb -f "$deb" Depends)) and $prefix install and run"
