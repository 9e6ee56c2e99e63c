#!/usr/bin/env bash
# Builds the stub a second time, from a copy of the sources in another folder
# and in a fresh build tree, and compares it byte for byte with STUB: one
# commit and toolchain must always give the same stub, or `mksfx create`
# cannot be reproducible either.
# Usage: SameStubTwice.sh SOURCE_DIR STUB.exe
set -euo pipefail
source_dir=$1
stub=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zelvix-stub-again.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# Sources only: the build trees and the history play no part in the stub.
mkdir "$scratch/elsewhere"
tar -C "$source_dir" --exclude=./build --exclude=./.git -cf - . | tar -C "$scratch/elsewhere" -xf -
cmake -S "$scratch/elsewhere" -B "$scratch/tree" -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel >"$scratch/log" 2>&1 &&
  cmake --build "$scratch/tree" -j 2 --target sfx >>"$scratch/log" 2>&1 || {
  cat "$scratch/log" >&2
  echo "SameStubTwice: the second build failed" >&2
  exit 1
}
if ! cmp "$stub" "$scratch/tree/sfx.exe"; then
  echo "SameStubTwice: $stub and a second build of the same sources differ" >&2
  cmp -l "$stub" "$scratch/tree/sfx.exe" | head -20 >&2
  exit 1
fi
echo "SameStubTwice: a second build gives the same $(stat -c %s "$stub") bytes"
