#!/usr/bin/env bash
# Checks what users install, without installing anything on this machine: the
# Debian package (its file list, its dependencies, and its contents unpacked
# into a scratch folder, where mksfx must run and carry its stub) and the tree
# that `make install PREFIX=...` wrote.
# Usage: CheckPackage.sh PACKAGE.deb INSTALL_PREFIX
set -euo pipefail
deb=$1
prefix=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zelvix-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "CheckPackage: $*" >&2; exit 1; }

expected="bin/mksfx
share/bash-completion/completions/mksfx
share/man/man1/mksfx.1
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
version=$(dpkg-deb -f "$deb" Version)

dpkg-deb -x "$deb" "$scratch/root"
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
