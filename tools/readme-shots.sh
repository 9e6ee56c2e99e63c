#!/usr/bin/env bash
# Makes the README's pictures again after a dialog changes: the real stub runs
# under Wine on a private Xvfb, tests/win32/shots/ReadmeShots.cpp drives it to
# the main dialog, the directory chooser, the overwrite confirmation and the
# password prompt, and each is saved as docs/NAME.png. Also writes the terminal
# session of mksfx create and test that the README quotes
# (docs/mksfx-session.txt). Run after "make stub host".
# The pictures come from the real i686 stub wherever 32-bit programs run
# (tools/can-run-win32.sh), from the stub's 64-bit twin only elsewhere
# (build/win64, "make stub-twin" builds it): the same dialogs from the same
# resources. Windows are unmanaged (Wine draws their frames, with Wine's own
# fonts: see tests/win32/wine-run.sh), as no window manager runs on the
# private Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=build/win32
if ! tools/can-run-win32.sh 2>/dev/null; then
  tree=build/win64
  echo "readme-shots: this machine cannot run 32-bit programs; the pictures come from the stub's 64-bit twin ($tree)"
fi
stub=$tree/sfx.exe
mksfx=build/host/mksfx
for needed in "$stub" "$mksfx"; do
  [ -e "$needed" ] || { echo "readme-shots: $needed is missing; 'make stub host' (and, for the twin, 'make stub-twin') builds it" >&2; exit 1; }
done
cmake --build "$tree" --target readmeshots

work=$PWD/build/readme-shots
rm -rf "$work"
mkdir -p "$work/data" "$work/out" docs
# Fixed times, so that a picture changes only when a dialog does. The Wine
# tests' fixtures build around a stub of any length (the twin's too).
for name in demo demo-password; do
  options='"--mtime", "2026-01-15 10:30"'
  [ "$name" = demo-password ] && options="$options"', "-P", "zelvix"'
  ZELVIX_STUB_SIZE=$(stat -c %s "$stub") python3 -c "import sys; sys.path.insert(0, 'tests/win32/fixtures'); import mksfx
mksfx.create('$mksfx', '$stub', '$work/data/$name.exe', 'samples', [$options])"
done

ZELVIX_E2E_DATA="$work/data" ZELVIX_WINEPREFIX="${ZELVIX_WINEPREFIX:-$PWD/$tree/wineprefix-shots}" ZELVIX_WINE_UNMANAGED=1 \
  tests/win32/wine-run.sh "$tree/tests/win32/readmeshots.exe" "Z:$(printf '%s' "$work/out" | tr / '\\')"
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
