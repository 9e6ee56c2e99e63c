#!/usr/bin/env bash
# Makes the README's pictures again after a dialog changes: the real stub runs
# under Wine on a private Xvfb, tests/win32/shots/ReadmeShots.cpp drives it to
# the main dialog, the directory chooser, the overwrite confirmation and the
# password prompt, and each is saved as docs/NAME.png. Also writes the terminal
# session of mksfx create and test that the README quotes
# (docs/mksfx-session.txt). Run after "make stub host".
set -euo pipefail
cd "$(dirname "$0")/.."
stub=build/win32/sfx.exe
mksfx=build/host/mksfx
for needed in "$stub" "$mksfx"; do
  [ -e "$needed" ] || { echo "readme-shots: $needed is missing; 'make stub host' builds it" >&2; exit 1; }
done
cmake --build build/win32 --target readmeshots

work=$PWD/build/readme-shots
rm -rf "$work"
mkdir -p "$work/data" "$work/out" docs
# Fixed times, so that a picture changes only when a dialog does.
"$mksfx" create -q --stub "$stub" --mtime "2026-01-15 10:30" -o "$work/data/demo.exe" -C samples .
"$mksfx" create -q --stub "$stub" --mtime "2026-01-15 10:30" -P zelvix -o "$work/data/demo-password.exe" -C samples .

ZELVIX_E2E_DATA="$work/data" ZELVIX_WINEPREFIX="${ZELVIX_WINEPREFIX:-$PWD/build/win32/wineprefix}" \
  tests/win32/wine-run.sh build/win32/tests/win32/readmeshots.exe "Z:$(printf '%s' "$work/out" | tr / '\\')"
for name in main-dialog directory-chooser overwrite-confirmation password-prompt; do
  # -strip: no time stamps in the PNG, so an unchanged dialog gives the same file.
  convert "$work/out/$name.bmp" -strip "docs/$name.png"
  echo "readme-shots: docs/$name.png"
done

# The terminal session, in a folder named as the README shows it.
session=$work/session
mkdir -p "$session"
cp -r samples "$session/dist"
{
  echo '$ mksfx create -v -o setup.exe -C dist .'
  (cd "$session" && "$OLDPWD/$mksfx" create -v -o setup.exe -C dist . 2>&1)
  echo '$ mksfx test -v setup.exe'
  (cd "$session" && "$OLDPWD/$mksfx" test -v setup.exe 2>&1)
} >docs/mksfx-session.txt
echo "readme-shots: docs/mksfx-session.txt"
