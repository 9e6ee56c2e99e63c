#!/usr/bin/env bash
# Builds a demo self-extracting archive from samples/ and opens it under Wine.
# With no X display it runs under its own Xvfb and saves a picture of the
# dialog, frame included, as build/demo.png. Where 32-bit programs cannot run
# (tools/can-run-win32.sh) it opens the same archive behind the stub's 64-bit
# twin (build/win64/sfx.exe), as tools/readme-shots.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=build/win32
demo=build/demo.exe
mksfx=build/host/mksfx
if [ ! -x "$mksfx" ]; then
  echo "demo: $mksfx is missing; 'make host' builds it" >&2
  exit 1
fi
# Packs with the stub that "make stub" just built, and checks the result as the stub will read it.
"$mksfx" create -q --stub "$tree/sfx.exe" -o "$demo" -C samples .
"$mksfx" test -q "$demo"
echo "demo: $demo ($(stat -c %s "$demo") bytes)"

shown=$demo
if ! tools/can-run-win32.sh 2>/dev/null; then
  tree=build/win64
  shown=build/demo-win64.exe
  if [ ! -e "$tree/sfx.exe" ]; then
    echo "demo: $tree/sfx.exe is missing; 'make demo' builds it" >&2
    exit 1
  fi
  # The same archive behind the twin: the central directory's offsets move by
  # the difference in length (tests/win32/fixtures/mksfx.py).
  python3 - "$demo" "$tree/sfx.exe" "$shown" <<'PYTHON'
import pathlib, sys
sys.path.insert(0, "tests/win32/fixtures")
import mksfx
sfx, twin, out = (pathlib.Path(name) for name in sys.argv[1:])
out.write_bytes(mksfx.restub(sfx.read_bytes(), twin.read_bytes(), mksfx.MKSFX_STUB_SIZE))
PYTHON
  echo "demo: this machine cannot run 32-bit programs, so Wine opens $shown, the same archive behind the stub's 64-bit twin (the same dialogs from the same sources, not the shipped i686 stub)"
fi

if [ -n "${DISPLAY:-}" ]; then
  ZELVIX_USE_DISPLAY="$DISPLAY" ZELVIX_WINE_TIMEOUT=0 ZELVIX_WINEPREFIX="${ZELVIX_WINEPREFIX:-$PWD/$tree/wineprefix-demo}" \
    exec tests/win32/wine-run.sh "$shown"
fi
# No display: show it on a private Xvfb, save the dialog, then close it. The
# windows are unmanaged, so Wine draws their frames (no window manager runs
# there); the prefix is the README pictures'.
rm -f build/demo.png
ZELVIX_WINE_TIMEOUT=60 ZELVIX_SCREENSHOT="$PWD/build/demo.png" ZELVIX_SCREENSHOT_DELAY=3 ZELVIX_SCREENSHOT_END=1 ZELVIX_WINE_UNMANAGED=1 \
  ZELVIX_WINEPREFIX="${ZELVIX_WINEPREFIX:-$PWD/$tree/wineprefix-shots}" tests/win32/wine-run.sh "$shown" || true
if [ ! -s build/demo.png ]; then
  echo "demo: Wine showed no dialog to save" >&2
  exit 1
fi
echo "demo: the dialog in build/demo.png"
